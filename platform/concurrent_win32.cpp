#include "concurrent.h"

#include <windows.h>

#include <exception>

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

void RunBoth(const std::function<void()>& here, const std::function<void()>& other) {
    Job job{&other, nullptr};
    std::exception_ptr hereFailed;
    HANDLE thread = CreateThread(nullptr, 0, runJob, &job, 0, nullptr);
    try {
        here();
    } catch (...) {
        hereFailed = std::current_exception();
    }
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    } else if (!hereFailed) {
        other();
    }
    if (hereFailed) std::rethrow_exception(hereFailed);
    if (job.failed) std::rethrow_exception(job.failed);
}

}  // namespace vantrel::platform
