#include "concurrent.h"

#include <exception>
#include <semaphore>
#include <system_error>
#include <thread>

namespace vantrel::platform {

bool RunTogether(const std::function<void()>& here, const std::function<void()>& other) {
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
    } catch (const std::system_error&) {
        return false;
    }
    try {
        here();
    } catch (...) {
        hereFailed = std::current_exception();
    }
    thread.join();
    if (hereFailed) std::rethrow_exception(hereFailed);
    if (otherFailed) std::rethrow_exception(otherFailed);
    return true;
}

struct Semaphore::Impl {
    explicit Impl(unsigned count) : sem(count) {}
    std::counting_semaphore<> sem;
};

Semaphore::Semaphore(unsigned count) : impl_(std::make_unique<Impl>(count)) {}
Semaphore::~Semaphore() = default;
void Semaphore::acquire() { impl_->sem.acquire(); }
void Semaphore::release() { impl_->sem.release(); }

}  // namespace vantrel::platform
