#include "util/worker_threads.h"

#include <cstdio>
#include <cstring>
#include <thread>

// POSIX threads here and in the MinGW build (winpthreads). std::thread would
// report a failed start by throwing, which this code base never does.
#if defined(_WIN32) && !defined(__MINGW32__)
#define BMP256_NO_THREADS 1
#else
#include <pthread.h>
static_assert(sizeof(pthread_t) <= sizeof(bmp256::WorkerThread::handle), "thread id does not fit");
#endif

namespace bmp256 {

namespace {

#ifdef BMP256_TEST_HOOKS
int g_refuseStarts = 0;
#endif

#ifndef BMP256_NO_THREADS
void* RunThread(void* record) {
    WorkerThread* worker = static_cast<WorkerThread*>(record);
    worker->run(worker->argument);
    return nullptr;
}
#endif

}  // namespace

int StartWorkerThread(WorkerThread* worker, void (*run)(void*), void* argument) {
    worker->running = 0;
    worker->run = run;
    worker->argument = argument;
#ifdef BMP256_NO_THREADS
    return 0;
#else
#ifdef BMP256_TEST_HOOKS
    if (g_refuseStarts) return 0;
#endif
    pthread_t thread;
    if (pthread_create(&thread, nullptr, RunThread, worker) != 0) return 0;
    std::memcpy(worker->handle, &thread, sizeof thread);
    worker->running = 1;
    return 1;
#endif
}

void JoinWorkerThread(WorkerThread* worker) {
    if (!worker->running) return;
#ifndef BMP256_NO_THREADS
    pthread_t thread;
    std::memcpy(&thread, worker->handle, sizeof thread);
    pthread_join(thread, nullptr);
#endif
    worker->running = 0;
}

void RunShares(void (*run)(void*), void* shares, size_t shareSize, int count) {
    constexpr int kMaxShares = 16;
    if (count > kMaxShares) count = kMaxShares;
    unsigned char* base = static_cast<unsigned char*>(shares);
    WorkerThread workers[kMaxShares];
    for (int i = 1; i < count; ++i) StartWorkerThread(&workers[i], run, base + shareSize * size_t(i));
    if (count > 0) run(base);
    for (int i = 1; i < count; ++i) {
        if (workers[i].running) {
            JoinWorkerThread(&workers[i]);
        } else {
            run(base + shareSize * size_t(i));
        }
    }
}

#ifdef BMP256_TEST_HOOKS
void RefuseWorkerStarts(int refuse) { g_refuseStarts = refuse; }
#endif

int MachineThreadCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : int(n);
}

void YieldWorkerThread() { std::this_thread::yield(); }

int ProcessorsBusy() {
#ifdef __linux__
    // The fourth field counts the threads runnable right now, this one included.
    FILE* f = std::fopen("/proc/loadavg", "r");
    if (!f) return 0;
    double averages[3];
    int running = 0, total = 0;
    const int read = std::fscanf(f, "%lf %lf %lf %d/%d", &averages[0], &averages[1], &averages[2], &running, &total);
    std::fclose(f);
    return read == 5 && running > MachineThreadCount();
#else
    return 0;
#endif
}

}  // namespace bmp256
