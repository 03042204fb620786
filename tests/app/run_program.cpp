#include "app/run_program.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

namespace desktoptest {

int RunProgram(const std::string& program, const RunOptions& options) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : options.arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        // Without a terminal and a display the real dialog can only fail,
        // so a test can never hang on a person.
        if (options.detachTerminal) setsid();
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) dup2(null, 0);
        int output = options.outputFile.empty()
                         ? null
                         : open(options.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (output >= 0) {
            dup2(output, 1);
            dup2(output, 2);
        }
        if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) _exit(126);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        for (const std::string& entry : options.environment) {
            size_t equals = entry.find('=');
            if (equals == std::string::npos) {
                unsetenv(entry.c_str());
            } else {
                setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
            }
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace desktoptest
