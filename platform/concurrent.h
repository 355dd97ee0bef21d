// Two jobs at once, for work that is split in two halves sharing nothing
// they write (each half its own files and objects).
#pragma once

#include <functional>

namespace vantrel::platform {

// Runs `other` on a thread of its own and `here` on the calling thread, and
// returns when both are done (what `other` wrote is then visible here). An
// exception thrown by either is rethrown, `here`'s first. When the system
// gives no thread, `other` runs after `here` on this one.
void RunBoth(const std::function<void()>& here, const std::function<void()>& other);

}  // namespace vantrel::platform
