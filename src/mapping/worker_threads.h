// A few worker threads without exceptions: a thread that cannot be started is
// reported by a result, never thrown, so callers can go on with fewer.
#pragma once

struct WorkerThread {
    void* handle;  // the platform's thread record, null when not running
};

// Starts run(argument) on a new thread. Returns 1, or 0 when no thread could
// be started (the worker is then not running and needs no join).
int StartWorkerThread(WorkerThread* worker, void (*run)(void*), void* argument);
// Waits for a started worker to end; a worker that never started is ignored.
void JoinWorkerThread(WorkerThread* worker);
// Threads the machine runs at once, at least 1.
int MachineThreadCount();
// Lets another thread run while this one waits.
void YieldWorkerThread();
