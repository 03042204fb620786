#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "convert/convert.h"
#include "cli/cli.h"
#include "platform/alloc.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/safe_replace.h"
#include "platform/signals.h"
#include "util/worker_threads.h"


namespace bmp256 {

namespace {

constexpr int kMaxWorkers = 64;

struct Run {
    const std::vector<BatchItem>* items;
    const BatchOptions* options;
    ConvertOptions convert;
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    size_t total = 0;  // items to convert
    std::atomic<int> converted{0};
    std::atomic<int> skipped{0};
    std::atomic<int> failed{0};
    std::atomic_flag printing = ATOMIC_FLAG_INIT;
    bool progress = false;
    std::chrono::steady_clock::time_point start;
    // -o DIR: made when the first result is about to go into it.
    std::mutex outputDirLock;
    int outputDirError = -1;  // -1: not made yet; 0: there; else errno
    std::vector<std::string> madeDirs;
};

// One writer at a time on stderr, so that lines never interleave.
void Lock(Run* run) {
    while (run->printing.test_and_set(std::memory_order_acquire)) YieldWorkerThread();
}
void Unlock(Run* run) { run->printing.clear(std::memory_order_release); }

// At most `room` bytes of `name`, its end kept ("...end"), never cut inside
// a UTF-8 character.
std::string FitName(const std::string& name, size_t room) {
    if (name.size() <= room) return name;
    if (room < 4) return std::string();
    size_t cut = name.size() - (room - 3);
    while (cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) ++cut;
    return "..." + name.substr(cut);
}

// One line that never reaches the terminal's last column, where some
// terminals wrap and leave the line behind on the next redraw.
void DrawProgress(Run* run, const std::string& current) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - run->start).count();
    const size_t width = size_t(std::max(TerminalColumns(2) - 1, 1));
    char count[64], time[32];
    std::snprintf(count, sizeof count, "%s: %zu/%zu ", kProgram, run->done.load(), run->total);
    std::snprintf(time, sizeof time, " %.1f s", seconds);
    const size_t fixed = std::strlen(count) + std::strlen(time);
    std::string line = count + FitName(current, width > fixed ? width - fixed : 0) + time;
    if (line.size() > width) line.resize(width);
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
}

// A line of its own, above the progress line when there is one.
void Say(Run* run, const std::string& line) {
    Lock(run);
    if (run->progress) std::fputs("\r\033[K", stderr);
    std::fprintf(stderr, "%s: %s\n", kProgram, line.c_str());
    Unlock(run);
}

std::string Because(int error) { return std::strerror(error ? error : EIO); }

struct Job {
    int source;
    const char* dest;
    const ConvertOptions* options;
    ConvertReport report;
};

int ConvertInto(int fd, void* context) {
    Job* job = static_cast<Job*>(context);
    return ConvertOpenSourceToDescriptor(job->source, fd, job->dest, job->options, &job->report);
}

// How a refusal names SOURCE "-".
std::string SourceName(const std::string& source) {
    return source == "-" ? "standard input" : source;
}

// Makes -o DIR once, for the first file that gets that far; false with the
// reason in errno when it cannot be made.
bool OutputDirReady(Run* run) {
    std::lock_guard<std::mutex> hold(run->outputDirLock);
    if (run->outputDirError < 0) {
        run->outputDirError = MakeDirectories(run->options->outputDir, &run->madeDirs) ? 0 : errno;
    }
    errno = run->outputDirError;
    return run->outputDirError == 0;
}

// The source, open for reading: a file listed as regular is checked through
// what was opened, so that a FIFO swapped in never blocks the run; a FIFO or
// device named as SOURCE is read as asked. -1 with the line said.
int OpenSource(Run* run, const BatchItem& item) {
    if (item.source == "-") {
        SetBinaryMode(0);
        return 0;
    }
    int fd = -1;
    if (item.listed && S_ISREG(item.sourceInfo.st_mode)) {
        bool changed = false;
        fd = OpenListedFile(item.source.c_str(), item.sourceInfo, &changed);
        if (fd < 0 && changed) {
            Say(run, item.source + ": no longer the file it was when the run started; not read");
            return -1;
        }
    } else {
        fd = OpenForReading(item.source.c_str());
    }
    if (fd < 0) Say(run, item.source + ": cannot open: " + Because(errno));
    return fd;
}

void CloseSource(int fd) {
    if (fd != 0) CloseReading(fd);
}

// The line of a conversion that failed.
void SayFailure(Run* run, const BatchItem& item, const ConvertReport& report) {
    if (report.stage == kConvertWriteFailed) {
        Say(run, "cannot write " + (item.dest == "-" ? std::string("standard output") : item.dest) + ": " +
                     Because(report.systemError));
    } else {
        Say(run, SourceName(item.source) + ": " + (report.reason[0] ? report.reason : "cannot be converted"));
    }
}

// Converts straight into `fd` (standard output, a device, a pipe), which
// cannot be renamed over.
bool ConvertThrough(Run* run, const BatchItem& item, int fd) {
    const int source = OpenSource(run, item);
    if (source < 0) return false;
    ConvertReport report = {};
    const bool ok = ConvertOpenSourceToDescriptor(source, fd, item.dest.c_str(), &run->convert, &report) == 1;
    CloseSource(source);
    if (!ok) SayFailure(run, item, report);
    return ok;
}

// True when `dest` is the file standard output is open on: the shell made it
// for this run's data, so it is written through that descriptor.
bool IsStandardOutput(const struct stat& dest) {
    struct stat out;
    return DescriptorInfo(1, &out) && SameFile(out, dest);
}

// DEST an existing device or pipe, told by fstat of what was opened, never
// by its name. Returns -1 with the line said when it cannot be opened, or
// -2 when what was opened is a regular file after all.
int OpenDevice(Run* run, const std::string& dest) {
    const int fd = OpenExistingForWriting(dest.c_str());
    if (fd < 0) {
        Say(run, "cannot write " + dest + ": " + Because(errno));
        return -1;
    }
    struct stat opened;
    if (DescriptorInfo(fd, &opened) && S_ISREG(opened.st_mode)) {
        CloseWrittenDescriptor(fd);
        return -2;
    }
    return fd;
}

// Converts one item; false when it failed, with its line said. `skipped`
// is set for an output left alone by --skip-existing.
bool ConvertItem(Run* run, const BatchItem& item, bool* skipped) {
    const BatchOptions& options = *run->options;
    const std::string& dest = item.dest;
    // Nobody types an image: wait for none, as for none shown on stdout.
    if (item.source == "-" && IsTerminal(0)) {
        Say(run, "standard input is a terminal; pipe or redirect an image into it (" +
                     std::string(kProgram) + " - DEST < in.bmp) or name a SOURCE file");
        return false;
    }
    if (dest == "-") {
        if (IsTerminal(1)) {
            Say(run, "standard output is a terminal; redirect it (" + std::string(kProgram) +
                         " SOURCE - > out.bmp) or name a DEST file");
            return false;
        }
        SetBinaryMode(1);
        return ConvertThrough(run, item, 1);
    }
    if (!options.outputDir.empty() && !OutputDirReady(run)) {
        Say(run, "cannot write " + dest + ": cannot make " + options.outputDir + ": " + Because(errno));
        return false;
    }
    struct stat destInfo;
    const bool exists = stat(dest.c_str(), &destInfo) == 0;
    if (!exists && errno == ENOENT) {
        const std::string link = LinkText(dest.c_str());
        if (!link.empty()) {
            Say(run, "cannot write " + dest + ": it is a symbolic link to " + link + ", which does not exist");
            return false;
        }
    }
    if (exists && S_ISDIR(destInfo.st_mode)) {
        Say(run, "cannot write " + dest + ": " + Because(EISDIR));
        return false;
    }
    if (exists && IsStandardOutput(destInfo)) return ConvertThrough(run, item, 1);
    if (exists && !S_ISREG(destInfo.st_mode)) {
        const int fd = OpenDevice(run, dest);
        if (fd == -1) return false;
        if (fd >= 0) {
            bool ok = ConvertThrough(run, item, fd);
            if (CloseWrittenDescriptor(fd) != 0 && ok) {
                Say(run, "cannot write " + dest + ": " + Because(errno));
                ok = false;
            }
            return ok;
        }
    }
    const bool itself = item.source == dest || (exists && item.listed && SameFile(item.sourceInfo, destInfo));
    const bool replace = itself || options.force;
    if (exists && !replace) {
        if (options.skipExisting) return *skipped = true;
        Say(run, dest + ": already exists, not replaced (-f replaces it, --skip-existing skips it)");
        return false;
    }
    const int source = OpenSource(run, item);
    if (source < 0) return false;
    Job job = {source, dest.c_str(), &run->convert, {}};
    const bool ok = SafeReplaceFile(job.dest, ConvertInto, &job, 0777, replace ? kReplaceExisting : kKeepExisting);
    const int error = errno;
    CloseSource(source);
    if (ok) return true;
    if (job.report.stage != kConvertDone) {
        SayFailure(run, item, job.report);
        return false;
    }
    struct stat now;
    if (error == EEXIST && stat(job.dest, &now) == 0) {
        if (options.skipExisting) return *skipped = true;
        Say(run, dest + ": already exists, not replaced (-f replaces it, --skip-existing skips it)");
    } else if (error == EEXIST) {
        Say(run, "cannot write " + dest + ": its temporary file was replaced meanwhile");
    } else {
        Say(run, "cannot write " + dest + ": " + Because(error));
    }
    return false;
}

void Work(void* argument) {
    Run* run = static_cast<Run*>(argument);
    for (;;) {
        const size_t index = run->next.fetch_add(1);
        if (index >= run->items->size()) return;
        const BatchItem& item = (*run->items)[index];
        if (item.state != kItemConvert) continue;
        if (run->progress) {
            Lock(run);
            DrawProgress(run, item.source);
            Unlock(run);
        }
        bool skipped = false;
        const bool ok = ConvertItem(run, item, &skipped);
        run->done.fetch_add(1);
        (!ok ? run->failed : skipped ? run->skipped : run->converted).fetch_add(1);
        if (ok && run->options->verbose) Say(run, skipped ? item.dest + ": exists, skipped" : item.source + " -> " + item.dest);
        if (run->progress) {
            Lock(run);
            DrawProgress(run, item.source);
            Unlock(run);
        }
    }
}

}  // namespace

int RunBatch(const std::vector<BatchItem>& items, const BatchOptions& options) {
    Run run;
    run.items = &items;
    run.options = &options;
    run.start = std::chrono::steady_clock::now();
    int refused = 0, skipped = 0;
    // A shared palette is made of every source the plan did not refuse.
    std::vector<BatchItem> paletteSources;
    for (const BatchItem& item : items) {
        if (item.state == kItemConvert) ++run.total;
        refused += item.state == kItemRefused;
        skipped += item.state == kItemSkipped;
        if (item.state != kItemRefused) paletteSources.push_back(item);
    }
    PaletteEntry palette[kPaletteSize];
    if (!PreparePalette(paletteSources, options, &run.convert.palette, palette)) return kExitFailed;
    int workers = options.jobs > 0 ? options.jobs : MachineThreadCount();
    if (workers > kMaxWorkers) workers = kMaxWorkers;
    if (size_t(workers) > run.total) workers = int(std::max<size_t>(run.total, 1));
    // Files go side by side before rows do: they need no waiting on each
    // other. -j N caps the threads in all, so -j 1 is one thread; by default
    // a lone file takes as many as pay for its size.
    if (options.jobs > 0) {
        run.convert.threadCount = options.jobs / workers > 1 ? options.jobs / workers : 1;
    } else {
        run.convert.threadCount = workers > 1 ? 1 : 0;
    }
    run.convert.maxPixels = uint64_t(options.maxMegapixels) * 1000000;
    run.convert.read.autoOrient = options.autoOrient;
    std::memcpy(run.convert.read.background, options.background, 3);
    // A batch on a terminal shows its progress and ends with a count.
    const bool summary = items.size() > 1 && !options.quiet && IsTerminal(2);
    run.progress = summary && run.total > 1;
    SetOpenLineOnSignal(run.progress);

    // Many files: the freed working memory of one file serves the next.
    if (run.total > 1) KeepFreedMemory();
    // Threads are started once per run, not per file; this thread is one.
    WorkerThread threads[kMaxWorkers];
    for (int i = 1; i < workers; ++i) StartWorkerThread(&threads[i], Work, &run);
    Work(&run);
    for (int i = 1; i < workers; ++i) JoinWorkerThread(&threads[i]);

    if (run.progress) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        SetOpenLineOnSignal(false);
    }
    refused += run.failed.load();
    skipped += run.skipped.load();
    if (summary) {
        std::fprintf(stderr, "%s: %d converted, %d skipped, %d refused\n", kProgram, run.converted.load(), skipped,
                     refused);
    }
    // Folders made for results that never came go again; only empty ones
    // can be removed, so nothing else can be lost.
    if (run.converted.load() == 0) {
        for (size_t i = run.madeDirs.size(); i-- > 0;) RemoveFolder(run.madeDirs[i].c_str());
    }
    return refused ? kExitFailed : kExitDone;
}

}  // namespace bmp256
