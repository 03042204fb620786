#include "platform/processors.h"

#include <cstdio>

#include "util/worker_threads.h"

namespace bmp256 {

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
