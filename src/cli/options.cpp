// bmp256-convert's arguments, parsed as getopt_long programs parse them:
// bundled short options (-fv, -fvj2, -j2), "--name=VALUE", "--name VALUE",
// "-xVALUE" and "-x VALUE", and "--" ending the options. Each option is one
// row of kOptions and one case of ApplyOption.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/file_system.h"

namespace bmp256 {
namespace {

enum OptionId {
    kOptHelp,
    kOptVersion,
    kOptForce,
    kOptInPlace,
    kOptQuiet,
    kOptVerbose,
    kOptOutput,
    kOptSuffix,
    kOptJobs,
    kOptMaxMegapixels,
    kOptNoExact,
    kOptColors,
    kOptDither,
    kOptDepth,
    kOptRle,
    kOptPalette,
    kOptWritePalette,
    kOptSharedPalette,
    kOptSystemColors,
    kOptRefine,
    kOptSkipExisting,
    kOptNoAutoOrient,
    kOptBackground,
};

struct OptionRow {
    char shortName;        // 0: long form only
    const char* longName;  // without the leading "--"
    bool takesValue;
    OptionId id;
};

constexpr OptionRow kOptions[] = {
    {'h', "help", false, kOptHelp},
    {0, "version", false, kOptVersion},
    {'f', "force", false, kOptForce},
    {0, "in-place", false, kOptInPlace},
    {'q', "quiet", false, kOptQuiet},
    {'v', "verbose", false, kOptVerbose},
    {'o', "output", true, kOptOutput},
    {0, "suffix", true, kOptSuffix},
    {'j', "jobs", true, kOptJobs},
    {0, "max-megapixels", true, kOptMaxMegapixels},
    {0, "no-exact", false, kOptNoExact},
    {0, "colors", true, kOptColors},
    {0, "dither", true, kOptDither},
    {0, "depth", true, kOptDepth},
    {0, "rle", false, kOptRle},
    {0, "palette", true, kOptPalette},
    {0, "write-palette", true, kOptWritePalette},
    {0, "shared-palette", false, kOptSharedPalette},
    {0, "system-colors", false, kOptSystemColors},
    {0, "refine", false, kOptRefine},
    {0, "skip-existing", false, kOptSkipExisting},
    {0, "no-auto-orient", false, kOptNoAutoOrient},
    {0, "background", true, kOptBackground},
};

constexpr int kMaxJobs = 1024;
// No picture of more pixels fits the 8-bit file's 32-bit sizes.
constexpr int kMaxMegapixels = 2147;

// A whole number from 1 to `most`.
bool ParseCount(const std::string& text, int most, int* count) {
    char* end = nullptr;
    errno = 0;
    long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || n < 1 || n > most) return false;
    *count = int(n);
    return true;
}

// The colour names --background takes besides #RRGGBB: the sixteen of
// HTML 4 and CSS, grey in both spellings, and orange.
struct NamedColour {
    const char* name;
    uint32_t rgb;
};
constexpr NamedColour kColourNames[] = {
    {"white", 0xFFFFFF}, {"black", 0x000000}, {"silver", 0xC0C0C0}, {"gray", 0x808080},
    {"grey", 0x808080},  {"red", 0xFF0000},   {"maroon", 0x800000}, {"yellow", 0xFFFF00},
    {"olive", 0x808000}, {"lime", 0x00FF00},  {"green", 0x008000},  {"aqua", 0x00FFFF},
    {"cyan", 0x00FFFF},  {"teal", 0x008080},  {"blue", 0x0000FF},   {"navy", 0x000080},
    {"fuchsia", 0xFF00FF}, {"magenta", 0xFF00FF}, {"purple", 0x800080}, {"orange", 0xFFA500},
};

// A colour name (any case) or #RRGGBB, as blue, green, red.
bool ParseColour(const std::string& text, uint8_t bgr[3]) {
    uint32_t rgb = 0;
    bool found = false;
    if (text.size() == 7 && text[0] == '#' &&
        text.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos) {
        rgb = uint32_t(std::strtoul(text.c_str() + 1, nullptr, 16));
        found = true;
    }
    for (const NamedColour& c : kColourNames) {
        if (found) break;
        if (text.size() == std::strlen(c.name) &&
            std::equal(text.begin(), text.end(), c.name, [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == b;
            })) {
            rgb = c.rgb;
            found = true;
        }
    }
    if (!found) return false;
    bgr[0] = uint8_t(rgb);
    bgr[1] = uint8_t(rgb >> 8);
    bgr[2] = uint8_t(rgb >> 16);
    return true;
}

// Applies one option; false with `problem` set for a value it cannot take.
bool ApplyOption(OptionId id, const std::string& value, ParsedArguments* parsed, std::string* problem) {
    BatchOptions& options = parsed->options;
    switch (id) {
        case kOptHelp:
            parsed->action = kActionHelp;
            return true;
        case kOptVersion:
            parsed->action = kActionVersion;
            return true;
        case kOptForce:
            options.force = true;
            return true;
        case kOptInPlace:
            options.inPlace = true;
            return true;
        case kOptQuiet:
            options.quiet = true;
            options.verbose = false;
            return true;
        case kOptVerbose:
            options.verbose = true;
            options.quiet = false;
            return true;
        case kOptOutput:
            if (value.empty()) return *problem = "-o needs a directory", false;
            options.outputDir = value;
            return true;
        case kOptSuffix:
            if (value.empty()) {
                return *problem = "--suffix needs a non-empty suffix (--in-place replaces the sources)", false;
            }
            // A folder in the suffix would write outside the source's folder.
            if (value.find_first_of(kPathSeparators) != std::string::npos) {
                return *problem = "--suffix cannot hold a folder separator (-o DIR writes into a folder)", false;
            }
            options.suffix = value;
            return true;
        case kOptJobs:
            if (!ParseCount(value, kMaxJobs, &options.jobs)) {
                return *problem = "-j needs a number of threads from 1 to " + std::to_string(kMaxJobs), false;
            }
            return true;
        case kOptMaxMegapixels:
            if (!ParseCount(value, kMaxMegapixels, &options.maxMegapixels)) {
                return *problem = "--max-megapixels needs a number from 1 to " + std::to_string(kMaxMegapixels), false;
            }
            return true;
        case kOptNoExact: return ApplyPaletteOption(kPaletteNoExact, value, &options, problem);
        case kOptColors: return ApplyPaletteOption(kPaletteColors, value, &options, problem);
        case kOptDither: return ApplyPaletteOption(kPaletteDither, value, &options, problem);
        case kOptDepth: return ApplyPaletteOption(kPaletteDepth, value, &options, problem);
        case kOptRle: return ApplyPaletteOption(kPaletteRle, value, &options, problem);
        case kOptPalette: return ApplyPaletteOption(kPaletteFile, value, &options, problem);
        case kOptWritePalette: return ApplyPaletteOption(kPaletteWrite, value, &options, problem);
        case kOptSharedPalette: return ApplyPaletteOption(kPaletteShared, value, &options, problem);
        case kOptSystemColors: return ApplyPaletteOption(kPaletteSystemColors, value, &options, problem);
        case kOptRefine:
            options.palette.refine = 1;
            return true;
        case kOptSkipExisting:
            options.skipExisting = true;
            return true;
        case kOptNoAutoOrient:
            options.autoOrient = false;
            return true;
        case kOptBackground:
            if (!ParseColour(value, options.background)) {
                return *problem = "--background needs a colour: #RRGGBB or a name such as white, "
                                  "black, grey, red, green, blue",
                       false;
            }
            return true;
    }
    return true;
}

const OptionRow* FindLong(const char* name, size_t length) {
    for (const OptionRow& row : kOptions) {
        if (std::strlen(row.longName) == length && std::strncmp(row.longName, name, length) == 0) return &row;
    }
    return nullptr;
}

const OptionRow* FindShort(char name) {
    for (const OptionRow& row : kOptions) {
        if (row.shortName != 0 && row.shortName == name) return &row;
    }
    return nullptr;
}

// How an option is named in a message: "-o" where it has a short form.
std::string OptionName(const OptionRow& row) {
    return row.shortName ? std::string("-") + row.shortName : std::string("--") + row.longName;
}

// "--name", "--name=VALUE" or "--name VALUE" at argv[*i].
bool ParseLong(int argc, char** argv, int* i, ParsedArguments* parsed, std::string* problem) {
    const char* body = argv[*i] + 2;
    const char* equals = std::strchr(body, '=');
    const size_t length = equals ? size_t(equals - body) : std::strlen(body);
    const OptionRow* row = FindLong(body, length);
    if (!row) return *problem = std::string("unknown option ") + argv[*i], false;
    std::string value;
    if (row->takesValue) {
        if (equals) {
            value = equals + 1;
        } else if (*i + 1 < argc) {
            value = argv[++*i];
        } else {
            return *problem = "--" + std::string(row->longName) + " needs a value", false;
        }
    } else if (equals) {
        return *problem = "--" + std::string(row->longName) + " takes no value", false;
    }
    return ApplyOption(row->id, value, parsed, problem);
}

// A bundle of short options at argv[*i]: "-fv", "-j2", "-fvj2", "-o DIR".
bool ParseShort(int argc, char** argv, int* i, ParsedArguments* parsed, std::string* problem) {
    const char* arg = argv[*i];
    for (const char* p = arg + 1; *p; ++p) {
        const OptionRow* row = FindShort(*p);
        if (!row) {
            *problem = std::string("unknown option -") + *p;
            if (p != arg + 1) *problem += std::string(" in ") + arg;
            return false;
        }
        if (!row->takesValue) {
            if (!ApplyOption(row->id, "", parsed, problem)) return false;
            continue;
        }
        std::string value;
        if (p[1] != '\0') {
            value = p + 1;
        } else if (*i + 1 < argc) {
            value = argv[++*i];
        } else {
            return *problem = OptionName(*row) + " needs a value", false;
        }
        return ApplyOption(row->id, value, parsed, problem);
    }
    return true;
}

}  // namespace

bool ParseArguments(int argc, char** argv, ParsedArguments* parsed, std::string* problem) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (optionsEnded || arg[0] != '-' || arg[1] == '\0') {
            parsed->paths.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (!(arg[1] == '-' ? ParseLong(argc, argv, &i, parsed, problem)
                                   : ParseShort(argc, argv, &i, parsed, problem))) {
            return false;
        }
        // --help and --version answer at once, whatever follows.
        if (parsed->action != kActionConvert) return true;
    }
    return true;
}

}  // namespace bmp256
