// bmp256-convert's parts behind its entry: the plan of a run (which file goes
// where, refused before anything is written when two would collide), the run
// itself (files in parallel, one stderr line per failure, the progress line).
#pragma once

#include <string>
#include <vector>

#include "convert/convert.h"

namespace bmp256 {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr const char* kProgram = "bmp256-convert";

struct BatchOptions {
    std::string outputDir;  // -o DIR: results go there; empty without -o
    std::string suffix;     // --suffix SUF: NAME+SUF.bmp; empty without --suffix
    bool inPlace = false;   // each source replaced by its result
    bool force = false;     // existing outputs may be replaced
    bool quiet = false;
    bool verbose = false;
    int jobs = 0;           // files converted at once; 0: one per processor
    int maxMegapixels = 0;  // --max-megapixels N; 0: the input layer's default
    bool autoOrient = true;                   // off with --no-auto-orient
    uint8_t background[3] = {255, 255, 255};  // --background COLOR: blue, green, red
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

// Converts the source (a file, a pipe, a FIFO, or standard input for "-")
// into `outputPath`, or through `fd` (left open, its file removed by the
// caller on failure), which `outputName` names in the report. Returns 1 when
// written; else 0 and `report` says why. `options` may be null.
int ConvertImageEx(const char* sourcePath, const char* outputPath, const ConvertOptions* options,
                   ConvertReport* report);
int ConvertImageToDescriptor(const char* sourcePath, int fd, const char* outputName,
                             const ConvertOptions* options, ConvertReport* report);

// Converts every item, `jobs` at a time, and returns the exit code.
int RunBatch(const std::vector<BatchItem>& items, const BatchOptions& options);

}  // namespace bmp256
