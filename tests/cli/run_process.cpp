#include "cli/run_process.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace clitest {

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
    char name[] = "/tmp/bmp256-cli-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) {
        std::perror("mkstemp");
        std::abort();
    }
    unlink(name);
    return fd;
}

}  // namespace

bool CanDropToNobody() { return geteuid() == 0; }

Started StartProgram(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options) {
    Started started;
    started.captureOut = options.stdoutPath.empty() && !options.stdoutClosedPipe;
    int outFd = -1;
    if (options.stdoutClosedPipe) {
        int ends[2];
        if (pipe(ends) != 0) {
            std::perror("pipe");
            std::abort();
        }
        close(ends[0]);
        outFd = ends[1];
    } else if (started.captureOut) {
        outFd = TempFd();
    } else {
        outFd = open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (outFd < 0) {
            std::perror(options.stdoutPath.c_str());
            std::abort();
        }
    }
    int errFd = TempFd();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        std::abort();
    }
    if (pid == 0) {
        int devNull = open("/dev/null", O_RDONLY);
        if (devNull < 0 || dup2(devNull, 0) < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0) _exit(126);
        if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
        if (options.asNobody) {
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
        }
        for (int signal : options.ignoredSignals) std::signal(signal, SIG_IGN);
        if (options.fileSizeLimit > 0) {
            struct rlimit limit = {rlim_t(options.fileSizeLimit), rlim_t(options.fileSizeLimit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    started.pid = pid;
    started.outFd = outFd;
    started.errFd = errFd;
    return started;
}

RunResult WaitProgram(Started* started) {
    int status = 0;
    while (waitpid(started->pid, &status, 0) < 0) {
    }
    RunResult result;
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    if (started->captureOut) result.out = Slurp(started->outFd);
    result.err = Slurp(started->errFd);
    close(started->outFd);
    close(started->errFd);
    return result;
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options) {
    Started started = StartProgram(program, args, options);
    return WaitProgram(&started);
}

}  // namespace clitest
