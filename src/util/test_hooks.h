// Fault injection for the tests: defined only when the core is compiled with
// BMP256_TEST_HOOKS, which the test builds alone do, so the programs carry none.
#pragma once

namespace bmp256 {

// The allocation numbered `n` (1 = the next one) and every one after it fail
// until reset with 0. Returns how many allocations were made since the last call.
long SetAllocationFailureAt(long n);

// The same for the writes and closes of WriteToFile and CloseWrittenFile,
// which then fail as on a full disk (ENOSPC).
long SetWriteFailureAt(long n);

// While `refuse` is non-zero every worker start fails as if the system had no
// thread left.
void RefuseWorkerStarts(int refuse);

#ifdef BMP256_TEST_HOOKS
// The count behind a fail-the-Nth hook.
struct FailureCounter {
    long failAt;   // 0: never fail
    long counted;  // calls since the hook was last set
};

// Counts one call; true when it is to fail.
inline bool CountCall(FailureCounter* counter) {
    ++counter->counted;
    return counter->failAt > 0 && counter->counted >= counter->failAt;
}

// Sets the call to fail from; returns the calls counted since the last setting.
inline long SetFailureAt(FailureCounter* counter, long n) {
    const long made = counter->counted;
    counter->failAt = n;
    counter->counted = 0;
    return made;
}
#endif

}  // namespace bmp256
