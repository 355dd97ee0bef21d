// Damage found below the session and the object model (FormatError, which
// names the page) surfaces as Jet's error 3049 naming the database.
#pragma once

#include <string>

#include "error.h"

namespace vantrel::jet {

template <class F>
auto guarded(const std::string& path, F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const FormatError& e) {
        throw err::damaged(path, e.what());
    }
}

// The same for work on one table (defined at `tdefPage`): damage that names
// no table lies in it.
template <class F>
auto guarded(const std::string& path, const std::string& table, std::optional<uint32_t> tdefPage, F&& f) -> decltype(f()) {
    return guarded(path, [&] { return inTable(table, tdefPage, f); });
}

}  // namespace vantrel::jet
