#include "safety/desktop/desktop_runs.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "desktop/convert_file.h"

using namespace bmp256;

namespace safetytest {

RunFolder::RunFolder() {
    mkdir(bin.c_str(), 0755);
    mkdir(pictures.c_str(), 0755);
}

RunRequest RequestFor(const RunFolder& folder, const std::string& source, const std::string& answer) {
    RunRequest request;
    request.source = source;
    request.answer = answer;
    request.module = folder.module;
    request.environment.push_back("XDG_CACHE_HOME=" + folder.cache);
    return request;
}

// The lock is tried, then tried again after a pause.
bool IsLockWait(long call) {
    return call == SYS_flock || call == SYS_nanosleep || call == SYS_clock_nanosleep;
}

pid_t StartRun(const RunRequest& request) {
    bmptest::RunOptions options;
    options.detachTerminal = true;
    options.asNobody = request.asNobody;
    options.outputPath = request.outputFile;
    options.environment = {"BMP256_DOUBLE_ANSWER=" + request.answer, "BMP256_DOUBLE_MODULE=" + request.module};
    options.environment.insert(options.environment.end(), request.environment.begin(), request.environment.end());
    return bmptest::StartProgram(BMP256_COPY_DOUBLE, {request.source}, options);
}

int WaitRun(pid_t run) { return bmptest::WaitProgram(run); }

int Run(const RunRequest& request) { return WaitRun(StartRun(request)); }

RunState WatchRun(pid_t run, int* exitCode) {
    const std::string path = "/proc/" + std::to_string(run) + "/syscall";
    // About a minute at most; a sound run gets to either at once.
    bool unobservable = false;
    for (int attempt = 0; attempt < 60000; ++attempt) {
        int status = 0;
        if (waitpid(run, &status, WNOHANG) == run) {
            *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return RunState::kEnded;
        }
        // The number of the call the process is blocked in, or "running".
        // Where that cannot be seen, only the end is waited for.
        FILE* file = fopen(path.c_str(), "r");
        char text[32] = "";
        const bool read = file != nullptr && fgets(text, sizeof text, file) != nullptr;
        if (file != nullptr) fclose(file);
        if (!read) unobservable = true;
        if (read && text[0] != 'r' && IsLockWait(strtol(text, nullptr, 10))) {
            return RunState::kBlockedInFlock;
        }
        usleep(1000);
    }
    return unobservable ? RunState::kUnobservable : RunState::kNeither;
}

std::vector<uint8_t> Picture(int width, int height, int seed) {
    return bmptest::MakeBmp24(width, height, bmptest::NoisePixels(uint32_t(seed)));
}

std::vector<uint8_t> ConvertedBytes(const std::vector<uint8_t>& source) {
    bmptest::TempDir dir;
    const std::string in = dir.File("in.bmp"), out = dir.File("out.bmp");
    if (!bmptest::WriteFileBytes(in, source) || !ConvertFile(in.c_str(), out.c_str())) return {};
    return bmptest::ReadFileBytes(out);
}

HoldPoint::HoldPoint() {
    mkfifo(folder.File("held").c_str(), 0600);
    mkfifo(folder.File("release").c_str(), 0600);
}

bool HoldPoint::WaitHeld(pid_t run) const {
    int in = open(folder.File("held").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) return false;
    bool held = false;
    for (int attempt = 0; attempt < 60000 && !held; ++attempt) {
        char byte = 0;
        if (read(in, &byte, 1) == 1) {
            held = true;
        } else if (waitpid(run, nullptr, WNOHANG) == run) {
            break;  // ended before it got there
        } else {
            usleep(1000);
        }
    }
    close(in);
    return held;
}

bool HoldPoint::Release() const {
    // The run opens its end right after it said it is held.
    for (int attempt = 0; attempt < 60000; ++attempt) {
        int out = open(folder.File("release").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (out >= 0) {
            const char byte = 'r';
            ssize_t put = write(out, &byte, 1);
            close(out);
            return put == 1;
        }
        if (errno != ENXIO) return false;
        usleep(1000);
    }
    return false;
}

}  // namespace safetytest
