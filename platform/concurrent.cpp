#include "concurrent.h"

#include <exception>

namespace vantrel::platform {

void RunBoth(const std::function<void()>& here, const std::function<void()>& other) {
    if (RunTogether(here, other)) return;
    std::exception_ptr hereFailed;
    try {
        here();
    } catch (...) {
        hereFailed = std::current_exception();
    }
    if (hereFailed) std::rethrow_exception(hereFailed);
    other();
}

}  // namespace vantrel::platform
