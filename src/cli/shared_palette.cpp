// The palette a whole run maps onto: a palette file, or the palette of all
// sources together. For the latter every source is read once here and once
// more for its conversion, so memory is one picture and one 64-level tally
// per thread, however many sources there are; the tallies and exact-colour
// sets are sums and unions, so neither -j nor the order of the sources
// changes a byte.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>


#include "cli/cli.h"
#include "input/input.h"
#include "palette_file/palette_file.h"
#include "quantize/color_tally.h"
#include "quantize/exact_colors.h"
#include "quantize/palette.h"
#include "quantize/refine.h"
#include "platform/alloc.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/safe_replace.h"
#include "platform/signals.h"
#include "util/worker_threads.h"

namespace bmp256 {

namespace {

constexpr int kMaxPassThreads = 16;
constexpr long kMaxPaletteFileBytes = 1 << 20;  // far above any palette file

struct Pass {
    const std::vector<BatchItem>* items;
    std::vector<std::string>* failures;  // one per item, empty when it was read
    int exactLimit;                      // 0: exact colours not wanted
    uint64_t maxPixels;                  // the input layer's limit, as the conversion has it
    ReadOptions read;                    // orientation and background, as the conversion has them
    std::atomic<size_t> next{0};
    std::atomic<bool> exactStill{true};
    bool progress = false;  // a line on the terminal while the sources are read
    std::mutex printing;
    size_t done = 0;
};

void DrawPass(Pass* pass) {
    std::lock_guard<std::mutex> lock(pass->printing);
    ++pass->done;
    std::fprintf(stderr, "\r\033[K%s: reading for the shared palette %zu/%zu", kProgram, pass->done,
                 pass->items->size());
    std::fflush(stderr);
}

struct Share {
    Pass* pass;
    ColorTally tally;
    ExactColorSet exact;
    bool memory;  // false when the tally could not be had
};

// Adds source `index` to the share's tally and colour set.
void ReadSource(Share* share, size_t index) {
    Pass* pass = share->pass;
    const std::string& source = (*pass->items)[index].source;
    if (!share->memory) {
        (*pass->failures)[index] = source + ": not enough memory";
        return;
    }
    // Read by the rules the conversion reads by, so a source refused here
    // would be refused there.
    Picture picture;
    InputReport report = {};
    if (!ReadPicture(source.c_str(), pass->maxPixels, &picture, &report, &pass->read)) {
        (*pass->failures)[index] = source + ": " + (report.reason[0] ? report.reason : "cannot be read");
        return;
    }
    TallyPixels(&share->tally, picture.pixels, &picture.info);
    if (pass->exactLimit && pass->exactStill.load() &&
        !CollectExactColors(&share->exact, pass->exactLimit, picture.pixels, &picture.info)) {
        pass->exactStill.store(false);
    }
    FreePicture(&picture);
}

void ReadSources(void* argument) {
    Share* share = static_cast<Share*>(argument);
    Pass* pass = share->pass;
    for (;;) {
        const size_t index = pass->next.fetch_add(1);
        if (index >= pass->items->size()) return;
        ReadSource(share, index);
        if (pass->progress) DrawPass(pass);
    }
}

// The shared palette into `storage` from slot 0; its length to `count`.
bool BuildSharedPalette(const std::vector<BatchItem>& items, const BatchOptions& options, int capacity,
                        PaletteEntry* storage, int* count) {
    std::vector<std::string> failures(items.size());
    Pass pass;
    pass.items = &items;
    pass.failures = &failures;
    pass.exactLimit = options.palette.exactColors ? capacity : 0;
    pass.maxPixels = uint64_t(options.maxMegapixels) * 1000000;
    pass.read.autoOrient = options.autoOrient;
    std::memcpy(pass.read.background, options.background, 3);
    int threads = options.jobs > 0 ? options.jobs : MachineThreadCount();
    if (threads > kMaxPassThreads) threads = kMaxPassThreads;
    if (size_t(threads) > items.size()) threads = int(items.size());
    if (threads < 1) threads = 1;
    Share shares[kMaxPassThreads];
    for (int i = 0; i < threads; ++i) {
        shares[i].pass = &pass;
        shares[i].exact.count = 0;
        shares[i].memory = OpenColorTally(&shares[i].tally);
    }
    pass.progress = items.size() > 1 && !options.quiet && IsTerminal(2);
    SetOpenLineOnSignal(pass.progress);
    RunShares(ReadSources, shares, sizeof(Share), threads);
    if (pass.progress) {
        std::fputs("\r\033[K", stderr);
        SetOpenLineOnSignal(false);
    }
    bool ok = true;
    for (size_t i = 0; i < items.size(); ++i) {
        if (failures[i].empty()) continue;
        std::fprintf(stderr, "%s: %s\n", kProgram, failures[i].c_str());
        ok = false;
    }
    bool exact = ok && pass.exactLimit && pass.exactStill.load();
    for (int i = 1; ok && i < threads; ++i) {
        AddColorTally(&shares[0].tally, &shares[i].tally);
        if (exact) exact = MergeExactColors(&shares[0].exact, &shares[i].exact, capacity);
    }
    if (ok && exact && shares[0].exact.count > 0) {
        WriteExactPalette(storage, &shares[0].exact);
        *count = shares[0].exact.count;
    } else if (ok) {
        int32_t k = 0;
        ColorEntry* entries = TallyHistogram(&shares[0].tally, &k);
        ok = entries && BuildPaletteFromHistogram(storage, capacity, entries, k);
        // The summed histogram is the one the box splitting saw: refining
        // over it gives the same colours for any order of the sources.
        if (ok && options.palette.refine) ok = RefinePalette(storage, capacity, entries, k);
        FreeBytes(entries);
        if (!ok) std::fprintf(stderr, "%s: not enough memory for the shared palette\n", kProgram);
        *count = capacity;
    }
    for (int i = 0; i < threads; ++i) CloseColorTally(&shares[i].tally);
    if (!ok) std::fprintf(stderr, "%s: the shared palette needs every source; nothing was converted\n", kProgram);
    return ok;
}

bool ReadPaletteFile(const std::string& path, PaletteEntry* storage, int* count) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, path.c_str(), std::strerror(errno));
        return false;
    }
    std::vector<uint8_t> data(size_t(kMaxPaletteFileBytes) + 1);
    const size_t size = std::fread(data.data(), 1, data.size(), f);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    char reason[256] = "";
    if (failed) {
        std::snprintf(reason, sizeof reason, "cannot be read");
    } else if (size > size_t(kMaxPaletteFileBytes)) {
        std::snprintf(reason, sizeof reason, "too large for a palette file");
    } else if (ParsePaletteFile(data.data(), size, storage, count, reason, sizeof reason)) {
        return true;
    }
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, path.c_str(), reason);
    return false;
}

struct PaletteBytes {
    const uint8_t* data;
    size_t size;
};

int WritePaletteBytes(int fd, void* context) {
    const PaletteBytes* bytes = static_cast<const PaletteBytes*>(context);
    return WriteToDescriptor(fd, bytes->data, bytes->size);
}

}  // namespace

bool PreparePalette(const std::vector<BatchItem>& items, const BatchOptions& options, PaletteChoice* choice,
                    PaletteEntry* storage) {
    *choice = options.palette;
    const bool given = !options.paletteFile.empty();
    const bool pass = !given && (options.sharedPalette || !options.writePaletteFile.empty());
    int count = 0;
    if (given) {
        if (!ReadPaletteFile(options.paletteFile, storage, &count)) return false;
        const int depth = choice->depth ? choice->depth : 8;
        if (count > (1 << depth)) {
            std::fprintf(stderr, "%s: %s holds %d colours, more than --depth %d holds (%d): give a smaller "
                                 "palette or a larger --depth\n",
                         kProgram, options.paletteFile.c_str(), count, depth, 1 << depth);
            return false;
        }
        choice->givenFirstSlot = 0;
    } else if (pass) {
        int first = 0, capacity = 0;
        PlanPaletteSlots(choice, &first, &capacity);
        if (!BuildSharedPalette(items, options, capacity, storage, &count)) return false;
        choice->givenFirstSlot = first;
    } else {
        return true;
    }
    choice->given = storage;
    choice->givenCount = count;
    if (options.writePaletteFile.empty()) return true;

    const int kept = given ? count : UsedPaletteCount(storage, count);
    PaletteBytes bytes = {nullptr, 0};
    uint8_t* data = FormatPaletteFile(PaletteFormatOfName(options.writePaletteFile.c_str()), storage, kept,
                                      &bytes.size);
    bytes.data = data;
    const bool written =
        data && SafeReplaceFile(options.writePaletteFile.c_str(), WritePaletteBytes, &bytes, 0666, kReplaceExisting);
    const int error = errno;
    FreeBytes(data);
    if (!written) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, options.writePaletteFile.c_str(),
                     std::strerror(data ? error : ENOMEM));
    }
    return written;
}

}  // namespace bmp256
