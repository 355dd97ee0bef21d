// Two jobs at once, for work that is split in two halves sharing nothing
// they write (each half its own files and objects), or handing work from one
// to the other through a Semaphore-guarded hand-off.
#pragma once

#include <functional>
#include <memory>

namespace vantrel::platform {

// Runs `other` on a thread of its own and `here` on the calling thread, and
// returns when both are done (what `other` wrote is then visible here). An
// exception thrown by either is rethrown, `here`'s first. When the system
// gives no thread, `other` runs after `here` on this one.
void RunBoth(const std::function<void()>& here, const std::function<void()>& other);

// The same, for jobs that wait for each other: false, with neither run,
// when the system gives no thread.
bool RunTogether(const std::function<void()>& here, const std::function<void()>& other);

// A counting semaphore shared by the two jobs of RunTogether.
class Semaphore {
public:
    explicit Semaphore(unsigned count);
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    void acquire();  // waits while the count is 0, then takes one
    void release();  // gives one back

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vantrel::platform
