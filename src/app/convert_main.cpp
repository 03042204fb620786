// bmp256-convert SOURCE DEST: the scriptable converter.
//
// Converts one image (any BMP form, PNG, JPEG; "-" is standard input) into the
// 256-colour BMP of ConvertStreamEx (DEST "-" is standard output). The result
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

#ifdef _WIN32
#include <fcntl.h>
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
        "Converts SOURCE, a BMP of any form, a PNG or a JPEG, into DEST, an 8-bit BMP\n"
        "with a 256-entry colour table built from the image (236 colours, error\n"
        "diffusion). SOURCE - reads standard input (a pipe works); DEST - writes\n"
        "standard output, which must not be a terminal.\n"
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

// The temporary file of this run, removed by the signal handler if the run
// is interrupted between its creation and the rename. Plain storage so that
// the handler touches nothing but async-signal-safe calls.
char g_tempPath[4096];
volatile std::sig_atomic_t g_tempLive = 0;

extern "C" void RemoveTempAndDie(int signal) {
    if (g_tempLive) {
#ifdef _WIN32
        _unlink(g_tempPath);
#else
        unlink(g_tempPath);
#endif
    }
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

#ifdef _WIN32
// The errno closest to the last Windows error, for the one stderr line.
int ErrnoOfLastError() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DIRECTORY:
        case ERROR_INVALID_NAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        default:
            return EIO;
    }
}
#endif

// The directory part of `path` with its trailing separator ("" for a bare
// name), and the name part.
void SplitPath(const std::string& path, std::string* dir, std::string* name) {
#ifdef _WIN32
    size_t cut = path.find_last_of("/\\:");
#else
    size_t cut = path.rfind('/');
#endif
    if (cut == std::string::npos) {
        dir->clear();
        *name = path;
    } else {
        *dir = path.substr(0, cut + 1);
        *name = path.substr(cut + 1);
    }
}

// Creates a new, empty, uniquely named file in DEST's directory and returns
// its name in `temp`. The name is ".<DEST's name>.XXXXXX"; a very long DEST
// name is replaced by "bmp256" so that the temporary name stays legal.
// Returns false with errno set when no file can be created there.
bool ReserveTempFile(const std::string& dest, std::string* temp) {
    constexpr size_t kMaxKeptName = 200;  // NAME_MAX is 255 on common systems
    std::string dir, name;
    SplitPath(dest, &dir, &name);
    if (name.empty() || name.size() > kMaxKeptName) name = "bmp256";
    std::string pattern = dir + "." + name + ".XXXXXX";
    if (pattern.size() >= sizeof g_tempPath) {
        errno = ENAMETOOLONG;
        return false;
    }
#ifdef _WIN32
    // GetTempFileNameA creates a new, uniquely named empty file in `dir`.
    char buffer[MAX_PATH];
    std::string where = dir.empty() ? std::string(".") : dir;
    if (GetTempFileNameA(where.c_str(), "bmp", 0, buffer) == 0) {
        errno = ErrnoOfLastError();
        return false;
    }
    *temp = buffer;
    return true;
#else
    std::string buffer = pattern;
    int fd = mkstemp(&buffer[0]);
    if (fd < 0) return false;
    close(fd);
    *temp = buffer;
    return true;
#endif
}

// Gives the finished temporary file the permissions DEST will keep: those of
// the DEST it replaces, or the usual ones of a new file. mkstemp made it 0600.
void SetFinalMode(const std::string& temp, const std::string& dest) {
#ifndef _WIN32
    struct stat st;
    mode_t mode;
    if (stat(dest.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        mode = st.st_mode & 0777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    chmod(temp.c_str(), mode);  // best effort: a 0600 result is still a result
#else
    (void)temp;
    (void)dest;
#endif
}

// Flushes the finished file to the disk, so that the rename never installs a
// file whose data is still only in memory. Returns false with errno set.
bool SyncFile(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return true;  // the Windows CRT's close leaves no data behind in user space
#else
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    int result = fsync(fd);
    int error = errno;
    close(fd);
    errno = error;
    return result == 0;
#endif
}

// Moves the finished file over DEST, replacing it in one step.
bool ReplaceFile(const std::string& temp, const std::string& dest) {
#ifdef _WIN32
    if (MoveFileExA(temp.c_str(), dest.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    errno = ErrnoOfLastError();
    return false;
#else
    return std::rename(temp.c_str(), dest.c_str()) == 0;
#endif
}

void RemoveTemp(const std::string& temp) {
    std::remove(temp.c_str());
    g_tempLive = 0;
}

int CannotWrite(const std::string& dest, int error) {
    std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, dest.c_str(),
                 std::strerror(error ? error : EIO));
    return kExitFailed;
}

int Report(const std::string& source, const std::string& dest, const bmp256::ConvertReport& report) {
    if (report.stage == bmp256::kConvertWriteFailed) return CannotWrite(dest, report.systemError);
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

// SOURCE "-" is standard input, read in binary; anything else is opened as a
// file. Null with the reason on stderr when it cannot be opened.
FILE* OpenSource(const std::string& source) {
    if (source == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        return stdin;
    }
    FILE* f = std::fopen(source.c_str(), "rb");
    if (!f) std::fprintf(stderr, "%s: %s: cannot open: %s\n", kProgram, source.c_str(), std::strerror(errno));
    return f;
}

void CloseSource(FILE* f) {
    if (f != stdin) std::fclose(f);  // read-only: nothing to lose on close
}

const char* SourceName(const std::string& source) {
    return source == "-" ? "standard input" : source.c_str();
}

// DEST "-": the result goes to standard output, in binary, never to a
// terminal, which would only show it as noise.
int ConvertToStdout(const std::string& source) {
#ifdef _WIN32
    const bool terminal = _isatty(_fileno(stdout));
#else
    const bool terminal = isatty(STDOUT_FILENO);
#endif
    if (terminal) {
        std::fprintf(stderr,
                     "%s: standard output is a terminal; redirect it (%s SOURCE - > out.bmp) "
                     "or name a DEST file\n",
                     kProgram, kProgram);
        return kExitFailed;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    FILE* in = OpenSource(source);
    if (!in) return kExitFailed;
    bmp256::ConvertReport report;
    std::memset(&report, 0, sizeof report);
    int done = bmp256::ConvertStreamToStreamEx(in, stdout, &report);
    CloseSource(in);
    return done ? kExitDone : Report(SourceName(source), "standard output", report);
}

// Converts SOURCE (a file or "-") into `output`, a path.
int ConvertSourceTo(const std::string& source, const std::string& output, bmp256::ConvertReport* report,
                    bool* opened) {
    FILE* in = OpenSource(source);
    *opened = in != nullptr;
    if (!in) return 0;
    int done = bmp256::ConvertStreamEx(in, output.c_str(), report);
    CloseSource(in);
    return done;
}

int Convert(const std::string& source, const std::string& dest) {
    if (dest == "-") return ConvertToStdout(source);
    bmp256::ConvertReport report;
    std::memset(&report, 0, sizeof report);
    bool opened = false;
    std::string target;
    switch (ClassifyDest(dest, &target)) {
        case kDestDirectory:
            return CannotWrite(dest, EISDIR);
        case kDestStream:
            // The source is read in full before DEST is opened, so a refused
            // source never touches it.
            if (ConvertSourceTo(source, dest, &report, &opened)) return kExitDone;
            return opened ? Report(SourceName(source), dest, report) : kExitFailed;
        case kDestFile:
            break;
    }

    std::string temp;
    if (!ReserveTempFile(target, &temp)) return CannotWrite(dest, errno);
    std::snprintf(g_tempPath, sizeof g_tempPath, "%s", temp.c_str());
    g_tempLive = 1;

    if (!ConvertSourceTo(source, temp, &report, &opened)) {
        RemoveTemp(temp);
        return opened ? Report(SourceName(source), dest, report) : kExitFailed;
    }
    SetFinalMode(temp, target);
    if (!SyncFile(temp) || !ReplaceFile(temp, target)) {
        int error = errno;
        RemoveTemp(temp);
        return CannotWrite(dest, error);
    }
    g_tempLive = 0;
    return kExitDone;
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
