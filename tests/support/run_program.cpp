#include "support/run_program.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace bmptest {

namespace {

constexpr uid_t kNobody = 65534;

std::string Slurp(int fd) {
    std::string text;
    char chunk[4096];
    lseek(fd, 0, SEEK_SET);
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<size_t>(got));
    return text;
}

int TempFd() {
    char name[] = "/tmp/bmp256-run-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) {
        std::perror("mkstemp");
        std::abort();
    }
    unlink(name);
    return fd;
}

int OpenOutput(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::abort();
    }
    return fd;
}

// The child's side: stdin from /dev/null, stdout and stderr to the given
// descriptors, then the options, then the program.
[[noreturn]] void BecomeProgram(const std::string& program, const std::vector<std::string>& args,
                                const RunOptions& options, int outFd, int errFd) {
    if (options.detachTerminal) setsid();
    int devNull = open("/dev/null", O_RDWR);
    int input = devNull;
    if (options.terminalStdin) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) _exit(126);
        input = open(ptsname(master), O_RDWR | O_NOCTTY);
        alarm(10);
    }
    if (devNull < 0 || input < 0 || dup2(input, 0) < 0) _exit(126);
    if (dup2(outFd < 0 ? devNull : outFd, 1) < 0 || dup2(errFd < 0 ? devNull : errFd, 2) < 0) _exit(126);
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
    if (options.detachTerminal) {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }
    for (const std::string& entry : options.environment) {
        const size_t equals = entry.find('=');
        if (equals == std::string::npos) {
            unsetenv(entry.c_str());
        } else {
            setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
        }
    }
    for (int signal : options.ignoredSignals) std::signal(signal, SIG_IGN);
    if (options.fileSizeLimit > 0) {
        const struct rlimit limit = {rlim_t(options.fileSizeLimit), rlim_t(options.fileSizeLimit)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (options.asNobody) {
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args, const RunOptions& options,
            int outFd, int errFd) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) BecomeProgram(program, args, options, outFd, errFd);
    return child < 0 ? -1 : child;
}

int WaitStatus(pid_t child, int* status) {
    while (waitpid(child, status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return 0;
}

}  // namespace

bool CanDropToNobody() { return geteuid() == 0; }

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args, const RunOptions& options) {
    int outFd, errFd;
    if (!options.outputPath.empty()) {
        outFd = OpenOutput(options.outputPath);
        errFd = dup(outFd);
    } else {
        outFd = options.stdoutPath.empty() ? TempFd() : OpenOutput(options.stdoutPath);
        errFd = TempFd();
    }
    if (options.stdoutClosedPipe) {
        int ends[2];
        if (pipe(ends) != 0) {
            std::perror("pipe");
            std::abort();
        }
        close(ends[0]);
        close(outFd);
        outFd = ends[1];
    }
    const pid_t child = Spawn(program, args, options, outFd, errFd);
    if (child < 0) {
        std::perror("fork");
        std::abort();
    }
    int status = 0;
    RunResult result;
    if (WaitStatus(child, &status) == 0) {
        if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    }
    if (options.outputPath.empty()) {
        if (options.stdoutPath.empty() && !options.stdoutClosedPipe) result.out = Slurp(outFd);
        result.err = Slurp(errFd);
    }
    close(outFd);
    close(errFd);
    return result;
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& args, const RunOptions& options) {
    const int outFd = options.outputPath.empty() ? -1 : OpenOutput(options.outputPath);
    const pid_t child = Spawn(program, args, options, outFd, outFd);
    if (outFd >= 0) close(outFd);
    return child;
}

int WaitProgram(pid_t child) {
    if (child <= 0) return -1;
    int status = 0;
    if (WaitStatus(child, &status) != 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace bmptest
