#include "concurrent.h"

#include <windows.h>

#include <exception>
#include <new>

namespace vantrel::platform {

namespace {

struct Job {
    const std::function<void()>* run;
    std::exception_ptr failed;
};

DWORD WINAPI runJob(LPVOID p) {
    Job* job = static_cast<Job*>(p);
    try {
        (*job->run)();
    } catch (...) {
        job->failed = std::current_exception();
    }
    return 0;
}

}  // namespace

bool RunTogether(const std::function<void()>& here, const std::function<void()>& other) {
    Job job{&other, nullptr};
    HANDLE thread = CreateThread(nullptr, 0, runJob, &job, 0, nullptr);
    if (!thread) return false;
    std::exception_ptr hereFailed;
    try {
        here();
    } catch (...) {
        hereFailed = std::current_exception();
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    if (hereFailed) std::rethrow_exception(hereFailed);
    if (job.failed) std::rethrow_exception(job.failed);
    return true;
}

struct Semaphore::Impl {
    HANDLE sem;
};

Semaphore::Semaphore(unsigned count) : impl_(std::make_unique<Impl>()) {
    impl_->sem = CreateSemaphoreW(nullptr, LONG(count), 0x7FFFFFFF, nullptr);
    if (!impl_->sem) throw std::bad_alloc();
}

Semaphore::~Semaphore() { CloseHandle(impl_->sem); }
void Semaphore::acquire() { WaitForSingleObject(impl_->sem, INFINITE); }
void Semaphore::release() { ReleaseSemaphore(impl_->sem, 1, nullptr); }

}  // namespace vantrel::platform
