// Runs a program of the build as a child process, the way a script or a
// person's desktop starts it, for the tests. POSIX only.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace bmptest {

struct RunOptions {
    // "NAME=value" added to the environment; "NAME" alone removes NAME.
    std::vector<std::string> environment;
    std::string workingDirectory;  // empty: the test's own
    bool asNobody = false;         // drop to uid and gid 65534 first (needs root)
    // A new session without a controlling terminal, and no display, as a
    // desktop starts it: a real dialog can then only fail, never wait for a person.
    bool detachTerminal = false;
    std::string stdoutPath;  // stdout into this file instead of RunResult::out
    std::string outputPath;  // stdout and stderr both into this file
    bool stdoutClosedPipe = false;    // stdout a pipe whose reader is gone
    std::vector<int> ignoredSignals;  // SIG_IGN in the child, as nohup or trap '' sets
    long fileSizeLimit = 0;           // RLIMIT_FSIZE in bytes; 0: none
    // stdin a pseudo-terminal nobody types on; a program that reads it
    // anyway is ended by SIGALRM after 10 s instead of hanging the test.
    bool terminalStdin = false;
};

struct RunResult {
    int exitCode = -1;  // -1 when the child did not exit normally
    int signal = 0;     // the signal that ended it, if any
    std::string out;
    std::string err;
};

// Runs `program` with `args` (argv[1] onwards) to its end. Aborts the test
// program when the child cannot be started.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options = RunOptions());

// Starts it without waiting, its output into options.outputPath (or
// /dev/null); returns its process id, or -1.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& args, const RunOptions& options);
// Its exit code, or -1 when it was ended by a signal or cannot be waited for.
int WaitProgram(pid_t child);

// True when this process may run children as nobody (it is root).
bool CanDropToNobody();

}  // namespace bmptest
