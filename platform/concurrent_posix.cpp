#include "concurrent.h"

#include <exception>
#include <system_error>
#include <thread>

namespace vantrel::platform {

void RunBoth(const std::function<void()>& here, const std::function<void()>& other) {
    std::exception_ptr hereFailed, otherFailed;
    std::thread thread;
    try {
        thread = std::thread([&] {
            try {
                other();
            } catch (...) {
                otherFailed = std::current_exception();
            }
        });
    } catch (const std::system_error&) {  // no thread: one after the other
    }
    try {
        here();
    } catch (...) {
        hereFailed = std::current_exception();
    }
    if (thread.joinable())
        thread.join();
    else if (!hereFailed)
        other();
    if (hereFailed) std::rethrow_exception(hereFailed);
    if (otherFailed) std::rethrow_exception(otherFailed);
}

}  // namespace vantrel::platform
