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

}  // namespace bmp256
