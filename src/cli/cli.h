// bmp256-convert's parts behind its entry: the plan of a run (which file goes
// where, refused before anything is written when two would collide), the run
// itself (files in parallel, one stderr line per failure, the progress line)
// and the signals that end it.
#pragma once

#include <string>
#include <vector>

namespace bmp256 {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr const char* kProgram = "bmp256-convert";

struct BatchOptions {
    std::string outputDir;  // -o DIR: results go there
    bool haveOutputDir = false;
    std::string suffix;     // --suffix SUF: NAME+SUF.bmp
    bool haveSuffix = false;
    bool inPlace = false;   // each source replaced by its result
    bool force = false;     // existing outputs may be replaced
    bool quiet = false;
    bool verbose = false;
    int jobs = 0;           // files converted at once; 0: one per processor
};

struct BatchItem {
    std::string source;
    std::string dest;
};

// What the arguments ask for.
enum ArgumentAction {
    kActionConvert = 0,
    kActionHelp,
    kActionVersion,
};

struct ParsedArguments {
    ArgumentAction action = kActionConvert;
    BatchOptions options;
    std::vector<std::string> paths;  // every argument that is not an option, in order
};

// Parses the arguments as getopt_long would (bundled short options, --opt=value,
// "--" ending the options). Returns false with `problem` in plain words for
// an unknown option or a value an option cannot take.
bool ParseArguments(int argc, char** argv, ParsedArguments* parsed, std::string* problem);

// The items of a run with -o, --suffix or --in-place: one per source. Returns
// false, with one line per clash on stderr, when two sources would write the
// same output or one would write over another's source; nothing is made then.
bool PlanBatch(const std::vector<std::string>& sources, const BatchOptions& options,
               std::vector<BatchItem>* items);

// Makes DIR and any missing parents, adding each folder it made to `made`
// (when given) parents first. Returns false with errno set.
bool MakeDirectories(const std::string& dir, std::vector<std::string>* made = nullptr);

// Converts every item, `jobs` at a time, and returns the exit code.
int RunBatch(const std::vector<BatchItem>& items, const BatchOptions& options);

// Signals: one the caller ignores stays ignored; INT, TERM and HUP remove
// the temporary files in flight and exit 128 + the signal; a closed pipe and
// the file-size limit become write failures (EPIPE, EFBIG).
void InstallSignalHandlers();

// Whether the progress line is on the terminal, so that an interrupt ends it.
void SetProgressLineShown(bool shown);

}  // namespace bmp256
