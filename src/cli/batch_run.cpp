#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "convert/convert.h"
#include "cli/cli.h"
#include "platform/alloc.h"
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
    std::atomic<int> failed{0};
    std::atomic_flag printing = ATOMIC_FLAG_INIT;
    bool progress = false;
    std::chrono::steady_clock::time_point start;
    // -o DIR: made when the first result is about to go into it.
    std::mutex outputDirLock;
    int outputDirError = -1;  // -1: not made yet; 0: there; else errno
    std::vector<std::string> madeDirs;
    std::atomic<size_t> converted{0};
};

// One writer at a time on stderr, so that lines never interleave.
void Lock(Run* run) {
    while (run->printing.test_and_set(std::memory_order_acquire)) YieldWorkerThread();
}
void Unlock(Run* run) { run->printing.clear(std::memory_order_release); }

void DrawProgress(Run* run, const std::string& current) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - run->start).count();
    std::string name = current.size() > 40 ? "..." + current.substr(current.size() - 37) : current;
    std::fprintf(stderr, "\r\033[K%s: %zu/%zu %s %.1f s", kProgram, run->done.load(),
                 run->items->size(), name.c_str(), seconds);
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
    const char* source;
    const char* dest;
    const ConvertOptions* options;
    ConvertReport report;
};

int ConvertInto(int fd, void* context) {
    Job* job = static_cast<Job*>(context);
    return ConvertImageToDescriptor(job->source, fd, job->dest, job->options, &job->report);
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

// DEST "-": the result goes to standard output, in binary, but never to a
// terminal, which would only show it as noise.
bool ConvertToStandardOutput(Run* run, const BatchItem& item) {
    if (IsTerminal(1)) {
        Say(run, "standard output is a terminal; redirect it (" + std::string(kProgram) +
                     " SOURCE - > out.bmp) or name a DEST file");
        return false;
    }
    SetBinaryMode(1);
    ConvertReport report = {};
    if (ConvertImageToDescriptor(item.source.c_str(), 1, "standard output", &run->convert, &report)) {
        return true;
    }
    Say(run, report.stage == kConvertWriteFailed
                 ? "cannot write standard output: " + Because(report.systemError)
                 : SourceName(item.source) + ": " + report.reason);
    return false;
}

// Converts one item; false when it failed, with its line said.
bool ConvertItem(Run* run, const BatchItem& item) {
    // Nobody types an image: wait for none, as for none shown on stdout.
    if (item.source == "-" && IsTerminal(0)) {
        Say(run, "standard input is a terminal; pipe or redirect an image into it (" +
                     std::string(kProgram) + " - DEST < in.bmp) or name a SOURCE file");
        return false;
    }
    if (item.dest == "-") return ConvertToStandardOutput(run, item);
    const std::string& dest = item.dest;
    if (!run->options->outputDir.empty() && !OutputDirReady(run)) {
        Say(run, "cannot write " + dest + ": cannot make " + run->options->outputDir + ": " +
                     Because(errno));
        return false;
    }
    Job job = {item.source.c_str(), dest.c_str(), &run->convert, {}};
    struct stat destInfo, sourceInfo;
    const bool exists = stat(dest.c_str(), &destInfo) == 0;
    if (exists && S_ISDIR(destInfo.st_mode)) {
        Say(run, "cannot write " + dest + ": " + Because(EISDIR));
        return false;
    }
    // A device or pipe cannot be renamed over: written directly, and the
    // source is read in full before it is opened. /dev/stdout counts as one
    // even when the shell made it a file: the redirection asked for the data.
    if (exists && (!S_ISREG(destInfo.st_mode) || dest.compare(0, 5, "/dev/") == 0)) {
        if (ConvertImageEx(job.source, job.dest, &run->convert, &job.report)) return true;
    } else {
        const bool itself = item.source == dest || (exists && stat(job.source, &sourceInfo) == 0 &&
                                                    SameFile(sourceInfo, destInfo));
        const bool replace = itself || run->options->force;
        if (exists && !replace) {
            Say(run, dest + ": already exists, not replaced (-f replaces it)");
            return false;
        }
        if (SafeReplaceFile(job.dest, ConvertInto, &job, 0777, replace ? kReplaceExisting : kKeepExisting)) {
            return true;
        }
        const int error = errno;
        if (job.report.stage == kConvertDone) {
            struct stat now;
            if (error == EEXIST && stat(job.dest, &now) == 0) {
                Say(run, dest + ": already exists, not replaced (-f replaces it)");
            } else if (error == EEXIST) {
                Say(run, "cannot write " + dest + ": its temporary file was replaced meanwhile");
            } else {
                Say(run, "cannot write " + dest + ": " + Because(error));
            }
            return false;
        }
    }
    if (job.report.stage == kConvertWriteFailed) {
        Say(run, "cannot write " + dest + ": " + Because(job.report.systemError));
    } else {
        Say(run, SourceName(item.source) + ": " +
                     (job.report.reason[0] ? job.report.reason : "cannot be converted"));
    }
    return false;
}

void Work(void* argument) {
    Run* run = static_cast<Run*>(argument);
    for (;;) {
        const size_t index = run->next.fetch_add(1);
        if (index >= run->items->size()) return;
        const BatchItem& item = (*run->items)[index];
        if (run->progress) {
            Lock(run);
            DrawProgress(run, item.source);
            Unlock(run);
        }
        const bool ok = ConvertItem(run, item);
        run->done.fetch_add(1);
        if (!ok) run->failed.fetch_add(1);
        if (ok) run->converted.fetch_add(1);
        if (ok && run->options->verbose) Say(run, item.source + " -> " + item.dest);
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
    int workers = options.jobs > 0 ? options.jobs : MachineThreadCount();
    if (workers > kMaxWorkers) workers = kMaxWorkers;
    if (size_t(workers) > items.size()) workers = int(items.size());
    // Files side by side each map on one thread; a lone file uses them all.
    run.convert.threadCount = workers > 1 ? 1 : 0;
    run.convert.maxPixels = uint64_t(options.maxMegapixels) * 1000000;
    run.convert.read.autoOrient = options.autoOrient;
    std::memcpy(run.convert.read.background, options.background, 3);
    run.progress = items.size() > 1 && !options.quiet && IsTerminal(2);
    SetOpenLineOnSignal(run.progress);

    // Many files: the freed working memory of one file serves the next.
    if (items.size() > 1) KeepFreedMemory();
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
    // Folders made for results that never came go again; rmdir takes only
    // empty ones, so nothing else can be lost.
    if (run.converted.load() == 0) {
        for (size_t i = run.madeDirs.size(); i-- > 0;) RemoveFolder(run.madeDirs[i].c_str());
    }
    return run.failed.load() ? kExitFailed : kExitDone;
}

}  // namespace bmp256
