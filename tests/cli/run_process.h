// Runs a program as a child process for the CLI tests and collects what it
// did: its exit code and everything it wrote to stdout and stderr.
#pragma once

#include <string>
#include <vector>

namespace clitest {

struct RunOptions {
    std::string workingDirectory;  // empty: the test's own
    bool asNobody = false;         // drop to uid/gid 65534 first (needs root)
    std::string stdoutPath;        // empty: captured into RunResult::out
    bool stdoutClosedPipe = false; // stdout a pipe whose reader is gone
    std::vector<int> ignoredSignals;  // set to SIG_IGN in the child, as nohup does
    long fileSizeLimit = 0;        // bytes, RLIMIT_FSIZE; 0: none
};

struct RunResult {
    int exitCode = -1;   // -1 when the child did not exit normally
    int signal = 0;      // the signal that ended it, if any
    std::string out;
    std::string err;
};

// Runs `program` with `args` (argv[1] onwards), waits for it, and returns
// the result. Aborts the test program when the child cannot be started.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
              const RunOptions& options = RunOptions());

// A child started by StartProgram, for tests that act while it runs.
struct Started {
    int pid = -1;
    int outFd = -1;
    int errFd = -1;
    bool captureOut = true;
};

Started StartProgram(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options = RunOptions());
RunResult WaitProgram(Started* started);

// True when this process may run children as nobody (it is root).
bool CanDropToNobody();

}  // namespace clitest
