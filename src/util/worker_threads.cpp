#include "util/worker_threads.h"

#include <cstring>
#include <thread>

// POSIX threads, which the MinGW build has too (winpthreads). std::thread
// would report a failed start by throwing, which this code base never does.
#include <pthread.h>
static_assert(sizeof(pthread_t) <= sizeof(bmp256::WorkerThread::handle), "thread id does not fit");

namespace bmp256 {

namespace {

#ifdef BMP256_TEST_HOOKS
int g_refuseStarts = 0;
#endif

void* RunThread(void* record) {
    WorkerThread* worker = static_cast<WorkerThread*>(record);
    worker->run(worker->argument);
    return nullptr;
}

}  // namespace

int StartWorkerThread(WorkerThread* worker, void (*run)(void*), void* argument) {
    worker->running = 0;
    worker->run = run;
    worker->argument = argument;
#ifdef BMP256_TEST_HOOKS
    if (g_refuseStarts) return 0;
#endif
    pthread_t thread;
    if (pthread_create(&thread, nullptr, RunThread, worker) != 0) return 0;
    std::memcpy(worker->handle, &thread, sizeof thread);
    worker->running = 1;
    return 1;
}

void JoinWorkerThread(WorkerThread* worker) {
    if (!worker->running) return;
    pthread_t thread;
    std::memcpy(&thread, worker->handle, sizeof thread);
    pthread_join(thread, nullptr);
    worker->running = 0;
}

int RunShares(void (*run)(void*), void* shares, size_t shareSize, int count) {
    // Fewer shares than asked would drop work without a word.
    if (count < 1 || count > kMaxShares) return 0;
    unsigned char* base = static_cast<unsigned char*>(shares);
    WorkerThread workers[kMaxShares];
    for (int i = 1; i < count; ++i) StartWorkerThread(&workers[i], run, base + shareSize * size_t(i));
    run(base);
    for (int i = 1; i < count; ++i) {
        if (workers[i].running) {
            JoinWorkerThread(&workers[i]);
        } else {
            run(base + shareSize * size_t(i));
        }
    }
    return 1;
}

#ifdef BMP256_TEST_HOOKS
void RefuseWorkerStarts(int refuse) { g_refuseStarts = refuse; }
#endif

int MachineThreadCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : int(n);
}

void YieldWorkerThread() { std::this_thread::yield(); }

}  // namespace bmp256
