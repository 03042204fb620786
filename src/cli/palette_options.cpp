// The palette options of bmp256-convert: each value checked as it is parsed,
// then the options together, each refusal saying what would work.
#include <cerrno>
#include <cstdlib>

#include "cli/cli.h"
#include "palette_file/palette_file.h"

namespace bmp256 {

namespace {

bool ParseNumber(const std::string& text, long* n) {
    char* end = nullptr;
    errno = 0;
    *n = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && errno == 0;
}

int Depth(const PaletteChoice& c) { return c.depth ? c.depth : 8; }

}  // namespace

bool ApplyPaletteOption(PaletteOption option, const std::string& value, BatchOptions* options,
                        std::string* problem) {
    PaletteChoice& c = options->palette;
    long n = 0;
    switch (option) {
        case kPaletteNoExact:
            c.exactColors = 0;
            return true;
        case kPaletteColors:
            if (!ParseNumber(value, &n) || n < 1 || n > 256) {
                return *problem = "--colors needs a number of colours from 2 to 256", false;
            }
            if (n == 1) return *problem = "--colors 1 leaves nothing to choose: use --colors 2 or more", false;
            c.colorCount = int(n);
            return true;
        case kPaletteDither:
            if (value == "jjn") {
                c.dither = kDitherJjn;
            } else if (value == "none") {
                c.dither = kDitherNone;
            } else {
                return *problem = "--dither takes jjn (error diffusion, the default) or none", false;
            }
            return true;
        case kPaletteDepth:
            if (!ParseNumber(value, &n) || (n != 1 && n != 4 && n != 8)) {
                return *problem = "--depth takes 1, 4 or 8 (bits per pixel)", false;
            }
            c.depth = int(n);
            return true;
        case kPaletteRle:
            c.rle = 1;
            return true;
        case kPaletteFile:
            if (value.empty()) return *problem = "--palette needs a palette file", false;
            options->paletteFile = value;
            return true;
        case kPaletteWrite:
            if (value.empty()) return *problem = "--write-palette needs a file name", false;
            options->writePaletteFile = value;
            return true;
        case kPaletteShared:
            options->sharedPalette = true;
            return true;
        case kPaletteSystemColors:
            c.systemColors = 1;
            return true;
    }
    return true;
}

bool CheckPaletteOptions(const BatchOptions& options, const std::vector<std::string>& sources,
                         std::string* problem) {
    const PaletteChoice& c = options.palette;
    const bool given = !options.paletteFile.empty();
    const int colors = c.colorCount ? c.colorCount : kDefaultColorCount;
    if (given && c.colorCount) {
        return *problem = "--palette gives the colours: drop --colors (the palette file's colours are used)", false;
    }
    if (given && options.sharedPalette) {
        return *problem = "--palette already gives every source the same palette: drop --shared-palette", false;
    }
    if (given && c.refine) {
        return *problem = "--palette gives the colours as they are: drop --refine (it improves a palette "
                          "this program builds)",
               false;
    }
    if (c.rle && Depth(c) == 1) {
        return *problem = "--rle compresses 4- and 8-bit output only: drop --rle, or use --depth 4", false;
    }
    if (!given && Depth(c) < 8 && colors > (1 << Depth(c))) {
        return *problem = Depth(c) == 4 ? "--depth 4 holds 16 colours: add --colors 16 (or fewer)"
                                        : "--depth 1 holds 2 colours: add --colors 2",
               false;
    }
    if (c.systemColors && (Depth(c) < 8 || given || colors > kDefaultColorCount)) {
        return *problem = "--system-colors keeps slots 0-9 and 246-255 for the system colours: it needs "
                          "--depth 8, at most 236 colours (--colors) and no --palette",
               false;
    }
    const bool readTwice = options.sharedPalette || (!given && !options.writePaletteFile.empty());
    for (const std::string& source : sources) {
        if (readTwice && source == "-") {
            return *problem = "standard input can be read only once: --shared-palette and --write-palette "
                              "need SOURCE files",
                   false;
        }
    }
    if (!options.writePaletteFile.empty()) {
        const PaletteFormat format = PaletteFormatOfName(options.writePaletteFile.c_str());
        if (format == kPaletteUnknown) {
            return *problem = "--write-palette FILE must end in .gpl, .pal, .act, .bmp or .png", false;
        }
        if (format == kPalettePng && !PngPalettesAvailable()) {
            return *problem = "this build writes no PNG: give --write-palette a .gpl, .pal, .act or .bmp name",
                   false;
        }
        if (!given && !options.sharedPalette && sources.size() > 1) {
            return *problem = "--write-palette with several sources needs --shared-palette (each source "
                              "gets its own palette otherwise)",
                   false;
        }
    }
    return true;
}

}  // namespace bmp256
