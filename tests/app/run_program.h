// Runs a program of the build as a person's desktop would, for the tests.
#pragma once

#include <string>
#include <vector>

namespace desktoptest {

struct RunOptions {
    std::vector<std::string> arguments;  // after argv[0]
    // "NAME=value" added to the environment; "NAME" alone removes NAME.
    std::vector<std::string> environment;
    std::string directory;  // the working directory; empty keeps ours
    bool detachTerminal = true;  // a new session without a controlling terminal
    std::string outputFile;  // receives stdout and stderr; empty: /dev/null
};

// Runs `program` to its end. Returns its exit code, or -1 when it could not
// be started or ended by a signal.
int RunProgram(const std::string& program, const RunOptions& options);

}  // namespace desktoptest
