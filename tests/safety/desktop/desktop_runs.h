// Whole runs of the desktop program (bmp256-copy-double) for the fault and
// concurrency tests: a folder laid out as a person's, runs started and
// waited for separately, and the bytes a run should produce.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/bmp_builder.h"
#include "support/run_program.h"

namespace safetytest {

// bin/ holds the pretended executable Bmp256; cache/ is the user's cache
// folder (XDG_CACHE_HOME), where the temporary file is
// cache/bmp256/bmp256.tmp; pictures/ the user's files.
struct RunFolder {
    bmptest::TempDir root;
    std::string bin = root.File("bin");
    std::string pictures = root.File("pictures");
    std::string module = bin + "/Bmp256";
    std::string cache = root.File("cache");
    std::string temporary = cache + "/bmp256/bmp256.tmp";

    RunFolder();
    std::string Picture(const std::string& name) const { return pictures + "/" + name; }
};

// One run: the source dropped on the program, the path the dialog answers,
// the executable path it reports, and "NAME=value" entries added to its
// environment.
struct RunRequest {
    std::string source;
    std::string answer;
    std::string module;
    std::vector<std::string> environment;
    std::string outputFile;  // receives stdout and stderr; empty: /dev/null
    bool asNobody = false;   // run as uid and gid 65534 (needs root)
};

RunRequest RequestFor(const RunFolder& folder, const std::string& source, const std::string& answer);

// Starts the run without a terminal or display; returns its process id or -1.
pid_t StartRun(const RunRequest& request);
// Its exit code, or -1 when it was ended by a signal or cannot be waited for.
int WaitRun(pid_t run);
int Run(const RunRequest& request);

// Watches `run` until it waits for the lock (in flock() or the pause
// between its tries) or has ended (then its exit
// code, or -1, is in *exitCode and it needs no WaitRun). Gives up after a
// generous bound rather than hang the test run: kUnobservable when the
// system did not show which call the run was blocked in (/proc/PID/syscall
// unreadable), else kNeither.
enum class RunState { kBlockedInFlock, kEnded, kUnobservable, kNeither };
RunState WatchRun(pid_t run, int* exitCode);

// A picture and the 8-bit file the program makes of it (ConvertFile in
// this process).
std::vector<uint8_t> Picture(int width, int height, int seed);
std::vector<uint8_t> ConvertedBytes(const std::vector<uint8_t>& source);

// The two FIFOs of a held run (BMP256_DOUBLE_HOLD): Environment() is the
// entry for the run, WaitHeld() true once the run is held (false when it
// ended first), Release() lets it go on. Both give up after a generous bound
// rather than hang the test run.
struct HoldPoint {
    bmptest::TempDir folder;
    HoldPoint();
    std::string Environment() const { return "BMP256_DOUBLE_HOLD=" + folder.path(); }
    // Holds the run inside its copy instead (BMP256_DOUBLE_HOLD_SYNC).
    std::string SyncEnvironment() const { return "BMP256_DOUBLE_HOLD_SYNC=" + folder.path(); }
    bool WaitHeld(pid_t run) const;
    bool Release() const;
};

}  // namespace safetytest
