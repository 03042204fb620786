// bmp256-convert's parts behind its entry: the plan of a run (which file goes
// where, refused before anything is written when two would collide), the run
// itself (files in parallel, one stderr line per failure, the progress line).
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "convert/convert.h"
#include "quantize/palette_choice.h"

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
    bool skipExisting = false;  // existing outputs are left alone and counted as skipped
    bool quiet = false;
    bool verbose = false;
    int jobs = 0;           // threads in all, files first; 0: one per processor
    int maxMegapixels = 0;  // --max-megapixels N; 0: the input layer's default
    bool autoOrient = true;                   // off with --no-auto-orient
    uint8_t background[3] = {255, 255, 255};  // --background COLOR: blue, green, red
    // The palette options, as given (checked by CheckPaletteOptions).
    PaletteChoice palette = {1, 0, kDitherJjn, 0, 0, 0, nullptr, 0, 0, 0};
    std::string paletteFile;       // --palette FILE
    std::string writePaletteFile;  // --write-palette FILE
    bool sharedPalette = false;
};

// What the plan decided for an item before anything is written.
enum ItemState {
    kItemConvert = 0,
    kItemRefused,  // its line is said; counted as refused
    kItemSkipped,  // left alone on purpose; counted as skipped
};

// The palette options, each one row of the option table.
enum PaletteOption {
    kPaletteNoExact,
    kPaletteColors,
    kPaletteDither,
    kPaletteDepth,
    kPaletteRle,
    kPaletteFile,
    kPaletteWrite,
    kPaletteShared,
    kPaletteSystemColors,
};

// Applies one palette option; false with `problem` for a value it cannot take.
bool ApplyPaletteOption(PaletteOption option, const std::string& value, BatchOptions* options,
                        std::string* problem);

// The palette options together, for `sources` (as given on the command
// line): false with `problem` saying what would work when they cannot go
// together.
bool CheckPaletteOptions(const BatchOptions& options, const std::vector<std::string>& sources,
                         std::string* problem);

struct BatchItem {
    std::string source;
    std::string dest;
    ItemState state = kItemConvert;
    bool listed = false;     // sourceInfo holds the source's stat at planning
    struct stat sourceInfo = {};  // what the source was when planned
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

// The items of a run: one per source file (paths that lead to one file are
// one source), each with its output. SOURCE DEST is one pair in `sources`
// and `dest`; -o, --suffix and --in-place name the outputs themselves.
// Refused items (two sources writing one output, an output that is a source
// of the run, --in-place on a file that is no BMP) have their line said on
// stderr here, before anything is written; the others still run.
void PlanBatch(const std::vector<std::string>& sources, const std::string& dest,
               const BatchOptions& options, std::vector<BatchItem>* items);

// True when `name` ends in the extension of another image format this
// program reads (.png, .jpg, .jpeg), which a BMP output must not carry.
bool NamesOtherFormat(const std::string& name);

// True when `name` ends in the extension of any image this program reads.
bool HasImageExtension(const std::string& name);

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
// The palette every item is mapped onto when one is given or shared: reads
// --palette FILE, or reads every source once for the summed histogram of
// --shared-palette (and of --write-palette), writes --write-palette FILE,
// and fills `choice`; `storage` (256 entries) holds the palette. Returns
// false with one line per problem on stderr; nothing is converted then.
bool PreparePalette(const std::vector<BatchItem>& items, const BatchOptions& options, PaletteChoice* choice,
                    PaletteEntry* storage);
// The same reading `sourceFd`, open for reading, which the caller closes.
int ConvertOpenSourceToDescriptor(int sourceFd, int fd, const char* outputName,
                                  const ConvertOptions* options, ConvertReport* report);

// Converts every item, `jobs` at a time, and returns the exit code.
int RunBatch(const std::vector<BatchItem>& items, const BatchOptions& options);

}  // namespace bmp256
