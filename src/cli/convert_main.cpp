// bmp256-convert: the scriptable converter.
//
//   bmp256-convert [-f] SOURCE DEST
//   bmp256-convert [-f] (-o DIR | --suffix SUF | --in-place) SOURCE...
//
// Each result is written to a fresh temporary file beside its output and
// renamed over it only once complete, so a failure never leaves an output
// truncated or changed. An existing output that is not the source itself is
// kept unless -f is given: a glob that happens to expand to two files must
// not turn the second into the first's result.
//
// Exit codes: 0 when every file was converted or, with --skip-existing, left
// alone because its output exists; 1 when any was refused or could not be
// written, with one line on stderr for each; 2 for wrong arguments, with a
// usage line; 128 + the signal when interrupted.
// --help and --version print to stdout and exit 0.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/signals.h"

#ifndef BMP256_VERSION
#define BMP256_VERSION "unknown"
#endif

namespace bmp256 {
namespace {

constexpr const char* kUsage =
    "usage: bmp256-convert SOURCE DEST, or [-o DIR | --suffix SUF | --in-place] SOURCE...  (or --help)";

void PrintHelp() {
    std::printf(
        "usage: bmp256-convert SOURCE DEST [-f | --skip-existing]\n"
        "       bmp256-convert [-f | --skip-existing] [-j N] [-q | -v] [--max-megapixels N]\n"
        "                      [--no-auto-orient] [--background COLOR]\n"
        "                      (-o DIR | --suffix SUF | --in-place) SOURCE...\n"
        "\n"
        "Converts each SOURCE, a BMP of any form, a PNG or a JPEG, into an 8-bit BMP\n"
        "with a 256-entry colour table built from the image (236 colours, error\n"
        "diffusion; a picture of 236 colours or fewer keeps them exactly).\n"
        "SOURCE - reads standard input and DEST - writes standard output;\n"
        "neither may be a terminal.\n"
        "\n"
        "Each result is written to a temporary file beside its output and renamed\n"
        "over it only when complete: a failure leaves an existing output untouched.\n"
        "An existing output that is not the source itself is kept and reported as\n"
        "refused, unless -f replaces it or --skip-existing skips it quietly. One\n"
        "failed file does not stop the others.\n"
        "Paths that lead to one file are one source. A batch on a terminal ends\n"
        "with a line of how many files were converted, skipped and refused.\n"
        "\n"
        "Options:\n"
        "  -o, --output DIR  write DIR/NAME.bmp for each SOURCE (DIR made when needed)\n"
        "  --suffix SUF      write NAME+SUF.bmp beside each SOURCE (e.g. --suffix -256)\n"
        "  --in-place        replace each SOURCE, a BMP file, by its result\n"
        "  -f, --force       replace existing output files\n"
        "  --skip-existing   leave existing output files alone and count them as skipped\n"
        "  -j, --jobs N      use N threads: N files at once, a lone file's rows on\n"
        "                    the threads files leave (default: one per processor)\n"
        "  --max-megapixels N  read PNG, JPEG and run-length BMP pictures of up to N\n"
        "                    megapixels (default 179); larger ones are refused\n"
        "  --no-auto-orient  keep the stored orientation of a photo (by default its\n"
        "                    EXIF orientation turns it upright, as viewers show it)\n"
        "  --background COLOR  what transparent parts are laid onto: #RRGGBB or a\n"
        "                    name (white, black, grey, red, ...); default white\n"
        "  --refine          improve the palette by k-means passes (slower; the\n"
        "                    default is the desktop program's palette)\n"
        "  -q, --quiet       print nothing but errors\n"
        "  -v, --verbose     print a line for each file converted\n"
        "\n"
        "Palette options:\n"
        "  --no-exact        reduce every picture as the desktop program does; by default\n"
        "                    a picture of at most as many colours as the palette holds\n"
        "                    keeps exactly its colours (in ascending blue-green-red order)\n"
        "  --colors N        N colours (2 to 256, default 236); up to 236 they fill slots\n"
        "                    10 onward, more start at slot 0\n"
        "  --dither jjn|none jjn: error diffusion (default); none: each pixel's nearest colour\n"
        "  --depth 1|4|8     bits per pixel (default 8); 4 needs --colors 16 or fewer,\n"
        "                    1 needs --colors 2\n"
        "  --rle             run-length encode the rows (RLE8 or RLE4; not with --depth 1)\n"
        "  --palette FILE    map every SOURCE onto the palette in FILE (.gpl, JASC .pal,\n"
        "                    .act, a BMP of 8 bits or fewer, a PNG with a palette)\n"
        "  --write-palette FILE  save the palette used (.gpl, .pal, .act, .bmp or .png)\n"
        "  --shared-palette  one palette for all SOURCEs, from their pixels together\n"
        "  --system-colors   slots 0-9 and 246-255 hold the 20 static system colours\n"
        "  --help            show this text\n"
        "  --version         show the version\n"
        "  --                end of options (for file names that start with '-')\n"
        "\n"
        "Exit status:\n"
        "  0    every file was converted, or skipped by --skip-existing\n"
        "  1    a file was refused or could not be written (a line on stderr each)\n"
        "  2    wrong arguments\n"
        "  130  interrupted (Ctrl-C); finished files stay, no temporary file is left\n");
}

int UsageError(const std::string& problem) {
    if (!problem.empty()) std::fprintf(stderr, "%s: %s\n", kProgram, problem.c_str());
    std::fprintf(stderr, "%s\n", kUsage);
    return kExitUsage;
}

}  // namespace

int ConvertMain(int argc, char** argv) {
    ParsedArguments parsed;
    std::string problem;
    if (!ParseArguments(argc, argv, &parsed, &problem)) return UsageError(problem);
    if (parsed.action == kActionHelp) {
        PrintHelp();
        return kExitDone;
    }
    if (parsed.action == kActionVersion) {
        std::printf("%s %s\n", kProgram, BMP256_VERSION);
        return kExitDone;
    }
    BatchOptions& options = parsed.options;
    const std::vector<std::string>& paths = parsed.paths;
    for (const std::string& path : paths) {
        if (path.empty()) return UsageError("empty file name");
    }
    const bool batch = !options.outputDir.empty() || !options.suffix.empty() || options.inPlace;
    if (options.inPlace && (!options.outputDir.empty() || !options.suffix.empty())) {
        return UsageError("--in-place cannot be combined with -o or --suffix");
    }
    if (options.force && options.skipExisting) {
        return UsageError("-f replaces existing outputs and --skip-existing keeps them: give one");
    }

    // SOURCE DEST names one source; -o, --suffix and --in-place name only sources.
    std::vector<std::string> sources(paths.begin(), batch || paths.empty() ? paths.end() : paths.begin() + 1);
    if (!CheckPaletteOptions(options, sources, &problem)) return UsageError(problem);

    std::vector<BatchItem> items;
    if (!batch) {
        if (paths.size() < 2) return UsageError(paths.empty() ? "" : "no DEST given");
        if (paths.size() > 2) {
            return UsageError("too many arguments; several files need -o DIR, --suffix SUF or --in-place");
        }
        // The result is always a BMP: another format's name would mislabel it.
        if (NamesOtherFormat(paths[1])) {
            return UsageError(paths[1] + ": the result is a BMP; name DEST .bmp (several files: -o DIR or --suffix SUF)");
        }
        PlanBatch({paths[0]}, paths[1], options, &items);
    } else {
        if (paths.empty()) return UsageError("no SOURCE given");
        for (const std::string& path : paths) {
            if (path == "-") return UsageError("standard input (-) is read only as SOURCE DEST");
        }
        // "-o out.bmp" is a file name typed where a folder belongs.
        struct stat dirInfo;
        if (!options.outputDir.empty() && HasImageExtension(options.outputDir) &&
            stat(options.outputDir.c_str(), &dirInfo) != 0) {
            return UsageError("-o takes a folder, and " + options.outputDir +
                              " looks like a file name; one file is written with SOURCE DEST");
        }
        PlanBatch(paths, "", options, &items);
    }
    // An interrupt removes the temporary files in flight and exits 128 + the
    // signal; a closed pipe or the file-size limit is a write failure.
    CatchEndingSignals(kEndWithStatus);
    TurnWriteSignalsIntoErrors();
    return RunBatch(items, options);
}

}  // namespace bmp256

int main(int argc, char** argv) { return bmp256::ConvertMain(argc, argv); }
