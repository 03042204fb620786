// bmp256-convert SOURCE DEST: the scriptable converter.
//
// Converts one 24-bit BMP into the 256-colour BMP of ConvertFileEx. The result
// is written to a fresh temporary file beside DEST and renamed over DEST only
// once it is complete, so DEST may be SOURCE and a failure never leaves DEST
// truncated or changed.
//
// Exit codes: 0 when DEST holds the result; 1 when the source is refused or
// DEST cannot be written, with one line on stderr naming the file and the
// reason; 2 for wrong arguments, with a usage line. --help and --version
// print to stdout and exit 0.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/convert.h"
#include "util/safe_replace.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifndef BMP256_VERSION
#define BMP256_VERSION "unknown"
#endif

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr const char* kProgram = "bmp256-convert";
constexpr const char* kUsage = "usage: bmp256-convert SOURCE DEST  (or --help, --version)";

void PrintHelp() {
    std::printf(
        "usage: bmp256-convert SOURCE DEST\n"
        "\n"
        "Converts SOURCE, an uncompressed 24-bit BMP, into DEST, an 8-bit BMP with a\n"
        "256-entry colour table built from the image (236 colours, error diffusion).\n"
        "\n"
        "The result is written to a temporary file beside DEST and renamed over DEST\n"
        "only when it is complete: DEST may be SOURCE, and a failure leaves an\n"
        "existing DEST untouched.\n"
        "\n"
        "Exit status:\n"
        "  0  DEST holds the converted image\n"
        "  1  SOURCE was refused or DEST could not be written (one line on stderr)\n"
        "  2  wrong arguments\n"
        "\n"
        "Options:\n"
        "  --help     show this text\n"
        "  --version  show the version\n"
        "  --         end of options (for file names that start with '-')\n");
}

extern "C" void RemoveTempAndDie(int signal) {
    RemovePendingReplacements();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void InstallSignalHandlers() {
    std::signal(SIGINT, RemoveTempAndDie);
    std::signal(SIGTERM, RemoveTempAndDie);
#ifndef _WIN32
    std::signal(SIGHUP, RemoveTempAndDie);
    std::signal(SIGPIPE, RemoveTempAndDie);
#endif
}

struct ConvertJob {
    const char* source;
    const char* dest;
    ConvertReport report;
};

int ConvertInto(int fd, void* context) {
    ConvertJob* job = static_cast<ConvertJob*>(context);
    return ConvertFileToDescriptor(job->source, fd, job->dest, nullptr, &job->report);
}

int CannotWrite(const std::string& dest, int error) {
    std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, dest.c_str(),
                 std::strerror(error ? error : EIO));
    return kExitFailed;
}

int Report(const std::string& source, const std::string& dest, const ConvertReport& report) {
    if (report.stage == kConvertWriteFailed) return CannotWrite(dest, report.systemError);
    const char* reason = report.reason[0] ? report.reason : "cannot be converted";
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, source.c_str(), reason);
    return kExitFailed;
}

// What DEST names decides how it is replaced: a regular file (or nothing) is
// replaced by rename from a temporary file beside it; through a symbolic link
// the file it points to is the one replaced; a device or pipe (/dev/stdout)
// cannot be renamed over and is written directly; a directory is refused.
enum DestKind { kDestFile, kDestStream, kDestDirectory };

DestKind ClassifyDest(const std::string& dest, std::string* target) {
    *target = dest;
#ifndef _WIN32
    struct stat st;
    if (stat(dest.c_str(), &st) != 0) return kDestFile;  // new file (or a dangling link)
    if (S_ISDIR(st.st_mode)) return kDestDirectory;
    if (!S_ISREG(st.st_mode)) return kDestStream;
    struct stat link;
    if (lstat(dest.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* resolved = realpath(dest.c_str(), nullptr);
        if (resolved) {
            *target = resolved;
            std::free(resolved);
        }
    }
#endif
    return kDestFile;
}

int Convert(const std::string& source, const std::string& dest) {
    ConvertReport report;
    std::memset(&report, 0, sizeof report);
    std::string target;
    switch (ClassifyDest(dest, &target)) {
        case kDestDirectory:
            return CannotWrite(dest, EISDIR);
        case kDestStream:
            // The source is read in full before DEST is opened, so a refused
            // source never touches it.
            return ConvertFileEx(source.c_str(), dest.c_str(), &report) ? kExitDone
                                                                        : Report(source, dest, report);
        case kDestFile:
            break;
    }

    ConvertJob job = {source.c_str(), dest.c_str(), report};
    if (SafeReplaceFile(target.c_str(), ConvertInto, &job, 0777, kReplaceExisting)) return kExitDone;
    if (job.report.stage != kConvertDone) return Report(source, dest, job.report);
    return CannotWrite(dest, errno);
}

int UsageError(const char* problem) {
    if (problem) std::fprintf(stderr, "%s: %s\n", kProgram, problem);
    std::fprintf(stderr, "%s\n", kUsage);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    std::string paths[2];
    int count = 0;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
            if (std::strcmp(arg, "--") == 0) {
                optionsEnded = true;
            } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
                PrintHelp();
                return kExitDone;
            } else if (std::strcmp(arg, "--version") == 0) {
                std::printf("%s %s\n", kProgram, BMP256_VERSION);
                return kExitDone;
            } else {
                std::string problem = std::string("unknown option ") + arg;
                return UsageError(problem.c_str());
            }
            continue;
        }
        if (count == 2) return UsageError("too many arguments");
        paths[count++] = arg;
    }
    if (count < 2) return UsageError(nullptr);
    if (paths[0].empty() || paths[1].empty()) return UsageError("empty file name");

    InstallSignalHandlers();
    return Convert(paths[0], paths[1]);
}
