#include "mapping/worker_threads.h"

#include <new>
#include <thread>

#include "util/alloc.h"

// POSIX threads here and in the MinGW build (winpthreads). std::thread would
// report a failed start by throwing, which this code base never does.
#if defined(_WIN32) && !defined(__MINGW32__)
#define BMP256_NO_THREADS 1
#else
#include <pthread.h>
#endif

namespace {

struct ThreadStart {
#ifndef BMP256_NO_THREADS
    pthread_t thread;
#endif
    void (*run)(void*);
    void* argument;
};

#ifndef BMP256_NO_THREADS
void* RunThread(void* start) {
    ThreadStart* s = static_cast<ThreadStart*>(start);
    s->run(s->argument);
    return nullptr;
}
#endif

}  // namespace

int StartWorkerThread(WorkerThread* worker, void (*run)(void*), void* argument) {
    worker->handle = nullptr;
#ifdef BMP256_NO_THREADS
    (void)run;
    (void)argument;
    return 0;
#else
    ThreadStart* start = static_cast<ThreadStart*>(AllocateBytes(sizeof(ThreadStart)));
    if (!start) return 0;
    new (start) ThreadStart{};
    start->run = run;
    start->argument = argument;
    if (pthread_create(&start->thread, nullptr, RunThread, start) != 0) {
        FreeBytes(start);
        return 0;
    }
    worker->handle = start;
    return 1;
#endif
}

void JoinWorkerThread(WorkerThread* worker) {
    if (!worker->handle) return;
#ifndef BMP256_NO_THREADS
    ThreadStart* start = static_cast<ThreadStart*>(worker->handle);
    pthread_join(start->thread, nullptr);
    FreeBytes(start);
#endif
    worker->handle = nullptr;
}

int MachineThreadCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : int(n);
}

void YieldWorkerThread() { std::this_thread::yield(); }
