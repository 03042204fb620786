// A few worker threads without exceptions: a thread that cannot be started is
// reported by a result, never thrown, so callers can go on with fewer.
#pragma once

#include <cstddef>

namespace bmp256 {

// One worker; the caller keeps the record in place from start to join.
struct WorkerThread {
    alignas(8) unsigned char handle[32];  // the platform's thread id
    int running;
    void (*run)(void*);
    void* argument;
};

// Starts run(argument) on a new thread. Returns 1, or 0 when no thread could
// be started (the worker is then not running and needs no join). Allocates nothing.
int StartWorkerThread(WorkerThread* worker, void (*run)(void*), void* argument);
// Waits for a started worker to end; a worker that never started is ignored.
void JoinWorkerThread(WorkerThread* worker);
// Runs run(share) for `count` shares of `shareSize` bytes each, laid out one
// after another from `shares`: share 0 on this thread, the others on worker
// threads, and any whose thread cannot be started on this thread after its
// own. A shareSize of 0 hands every thread `shares` itself, for work that
// the threads divide among themselves as they go. Returns 1 when all are
// done; a count from 1 to kMaxShares is honoured, any other runs nothing
// and returns 0. Allocates nothing.
constexpr int kMaxShares = 16;
int RunShares(void (*run)(void*), void* shares, size_t shareSize, int count);
// Threads the machine runs at once, at least 1.
int MachineThreadCount();
// Lets another thread run while this one waits.
void YieldWorkerThread();

}  // namespace bmp256
