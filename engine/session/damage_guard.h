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

}  // namespace vantrel::jet
