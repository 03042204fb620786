// The real program without a display: its save dialog becomes a text prompt
// on the terminal, driven here through a pseudo-terminal.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/bmp_builder.h"

using bmptest::ReadFileBytes;
using bmptest::TempDir;
using bmptest::WriteFileBytes;

namespace {

const char kPrompt[] = "Press Enter to accept, or type another path: ";
const char kReplace[] = " already exists. Replace it? [y/N] ";

std::vector<uint8_t> Source() {
    return bmptest::MakeBmp24(5, 3, bmptest::NoisePixels(11));
}

// The program copied into bin/ of a fresh folder, with cache/ for its cache
// folder, where its temporary file lands; pictures/photo.bmp is the source.
struct PromptFolder {
    TempDir root;
    std::string bin = root.File("bin");
    std::string pictures = root.File("pictures");
    std::string program = bin + "/bmp256";
    std::string cache = root.File("cache");
    std::string temporary = cache + "/bmp256/bmp256.tmp";
    std::string source = pictures + "/photo.bmp";

    PromptFolder() {
        mkdir(bin.c_str(), 0755);
        mkdir(pictures.c_str(), 0755);
        bool ok = false;
        std::vector<uint8_t> image = ReadFileBytes(BMP256_PROGRAM, &ok);
        if (ok && WriteFileBytes(program, image)) chmod(program.c_str(), 0755);
        WriteFileBytes(source, Source());
    }
};

// One run of the program on a pseudo-terminal.
class TerminalRun {
public:
    TerminalRun(const PromptFolder& folder, const char* locale, const char* home = nullptr) {
        struct termios settings;
        memset(&settings, 0, sizeof settings);
        cfmakeraw(&settings);
        // Canonical input with echo, as a person's terminal has; no output
        // processing, so the bytes read are the bytes written.
        settings.c_lflag |= ICANON | ECHO;
        settings.c_iflag |= ICRNL;
        settings.c_cc[VEOF] = 4;
        settings.c_cc[VMIN] = 1;
        child_ = forkpty(&master_, nullptr, &settings, nullptr);
        if (child_ == 0) {
            if (chdir(folder.root.path().c_str()) != 0) _exit(126);
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            unsetenv("LANGUAGE");
            setenv("LC_ALL", locale, 1);
            if (home != nullptr) setenv("HOME", home, 1);
            setenv("XDG_CACHE_HOME", folder.cache.c_str(), 1);
            execl(folder.program.c_str(), folder.program.c_str(), folder.source.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~TerminalRun() {
        if (child_ > 0 && !ended_) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (master_ >= 0) close(master_);
    }
    bool Started() const { return child_ > 0; }

    // Reads until `text` has appeared after what earlier waits consumed;
    // false after five seconds or at the end of output.
    bool WaitFor(const std::string& text) {
        for (;;) {
            size_t found = output_.find(text, consumed_);
            if (found != std::string::npos) {
                consumed_ = found + text.size();
                return true;
            }
            if (!ReadSome(5000)) return false;
        }
    }
    void Type(const std::string& keys) {
        ssize_t written = write(master_, keys.data(), keys.size());
        (void)written;
    }
    // The program's exit code, after the rest of its output; -1 on a timeout
    // or a signal.
    int Wait() {
        while (ReadSome(5000)) {
        }
        int status = 0;
        for (int i = 0; i < 500; ++i) {
            pid_t done = waitpid(child_, &status, WNOHANG);
            if (done == child_) {
                ended_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            struct timespec pause = {0, 10 * 1000 * 1000};
            nanosleep(&pause, nullptr);
        }
        return -1;
    }
    const std::string& Output() const { return output_; }

private:
    bool ReadSome(int milliseconds) {
        struct pollfd ready = {master_, POLLIN, 0};
        if (poll(&ready, 1, milliseconds) <= 0) return false;
        char block[4096];
        ssize_t got = read(master_, block, sizeof block);
        // EIO: the program has ended and closed its side.
        if (got <= 0) return false;
        output_.append(block, static_cast<size_t>(got));
        return true;
    }

    int master_ = -1;
    pid_t child_ = -1;
    bool ended_ = false;
    std::string output_;
    size_t consumed_ = 0;
};

// The bytes of a stream a suite file carries from bfOffBits on.
std::vector<uint8_t> EmbeddedStream(const char* file) {
    std::vector<uint8_t> bytes = ReadFileBytes(std::string(BMP256_SUITE_DIR) + "/" + file);
    if (bytes.size() < 54) return {};
    return std::vector<uint8_t>(bytes.begin() + bmptest::Get32(bytes, 10), bytes.end());
}

// A 24-bit BMP with the 124-byte header image editors write by default.
std::vector<uint8_t> V5Bitmap() {
    std::vector<uint8_t> plain = Source();
    std::vector<uint8_t> v5(plain.begin(), plain.begin() + 54);
    v5.resize(14 + 124, 0);
    bmptest::Put32(v5, 14, 124);
    bmptest::Put32(v5, 10, 14 + 124);
    bmptest::Put32(v5, 14 + 56, 0x73524742);  // 'sRGB'
    v5.insert(v5.end(), plain.begin() + 54, plain.end());
    bmptest::Put32(v5, 2, uint32_t(v5.size()));
    return v5;
}

// Dialogues at the prompt, each in a fresh folder that also holds
// other.bmp and home/ ($HOME): in a step "@" stands for the folder and "%u"
// for the user's name. Each run ends with 0 and other.bmp unchanged; a file
// it makes holds the bytes bmp256-convert gives without its exact colours,
// as the temporary file does, and the source is as it was unless made anew.
TEST(DesktopPrompt, Dialogues) {
    struct Step {
        std::string waitFor, type;
    };
    const std::string folderSaid = "That is a folder.\n", written = "Written: @/pictures/out.bmp\n";
    std::vector<uint8_t> cut = Source();
    cut.pop_back();
    const struct {
        const char* name;
        const char* locale;
        std::vector<uint8_t> source;  // pictures/photo.bmp
        std::vector<Step> steps;
        std::vector<std::string> made, absent;  // under the folder
    } cases[] = {
        // The proposed name is the source itself, which exists.
        {"the title, the proposed path, and Enter accepts it", "C.UTF-8", Source(),
         {{"\xe5\x90\x8d\xe5\x89\x8d\xe3\x82\x92\xe4\xbb\x98\xe3\x81\x91\xe3\x81\xa6\xe4\xbf\x9d\xe5\xad\x98\n", ""},
          {"Save as: @/pictures/photo.bmp\n", ""}, {kPrompt, "\n"}, {std::string("@/pictures/photo.bmp") + kReplace, "y\n"}},
         {"pictures/photo.bmp"}, {}},
        {"a typed name is taken in the source's folder, not the current one", "C.UTF-8", Source(),
         {{kPrompt, "copy.bmp\n"}}, {"pictures/copy.bmp"}, {"copy.bmp"}},
        // Every form the input layer reads, and the line that says so.
        {"a 124-byte header", "C.UTF-8", V5Bitmap(), {{kPrompt, "out.bmp\n"}, {written, ""}}, {"pictures/out.bmp"}, {}},
#ifdef BMP256_HAVE_PNG
        {"PNG", "C.UTF-8", EmbeddedStream("q/rgb24png.bmp"), {{kPrompt, "out.bmp\n"}, {written, ""}},
         {"pictures/out.bmp"}, {}},
#endif
#ifdef BMP256_HAVE_JPEG
        {"JPEG", "C.UTF-8", EmbeddedStream("q/rgb24jpeg.bmp"), {{kPrompt, "out.bmp\n"}, {written, ""}},
         {"pictures/out.bmp"}, {}},
#endif
        {"a damaged source: the prompt asks, then says why nothing was written", "C.UTF-8", cut,
         {{kPrompt, "out.bmp\n"}, {"Nothing written: the pixel data is 1 byte short\n", ""}}, {}, {"pictures/out.bmp"}},
        // As a shell expands it: ~ and ~user name a folder, refused without
        // writing, and ~/ a file in $HOME.
        {"a leading ~ is the home folder", "C.UTF-8", Source(),
         {{kPrompt, "~\n"}, {folderSaid, ""}, {kPrompt, "~%u\n"}, {folderSaid, ""}, {kPrompt, "~/copy.bmp\n"}},
         {"home/copy.bmp"}, {"pictures/~"}},
        {"declining the replacement asks again", "C.UTF-8", Source(),
         {{kPrompt, "@/other.bmp\n"}, {std::string("@/other.bmp") + kReplace, "n\n"}, {kPrompt, "@/pictures\n"},
          {folderSaid, ""}, {kPrompt, "\x04"}},
         {}, {"cache/bmp256/bmp256.tmp"}},
        // End of input is a cancel; a terminal that cannot show the title
        // gets question marks.
        {"end of input cancels", "C", Source(), {{"????????\n", ""}, {kPrompt, "\x04"}}, {},
         {"cache/bmp256/bmp256.tmp"}},
    };
    const struct passwd* me = getpwuid(getuid());
    ASSERT_NE(nullptr, me);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PromptFolder folder;
        auto at = [&](std::string text) {
            for (size_t i; (i = text.find('@')) != std::string::npos;) text.replace(i, 1, folder.root.path());
            for (size_t i; (i = text.find("%u")) != std::string::npos;) text.replace(i, 2, me->pw_name);
            return text;
        };
        const std::string home = folder.root.File("home"), other = folder.root.File("other.bmp");
        const std::string expected = folder.root.File("expected.bmp");
        ASSERT_EQ(0, mkdir(home.c_str(), 0755));
        ASSERT_TRUE(WriteFileBytes(other, {1, 2, 3}));
        ASSERT_TRUE(WriteFileBytes(folder.source, c.source));
        if (!c.made.empty()) {
            ASSERT_EQ(0, bmptest::RunProgram(BMP256_CONVERT_PROGRAM, {"--no-exact", folder.source, expected}).exitCode);
        }
        TerminalRun run(folder, c.locale, home.c_str());
        ASSERT_TRUE(run.Started());
        for (const Step& step : c.steps) {
            ASSERT_TRUE(run.WaitFor(at(step.waitFor))) << step.waitFor << "\nsaid: " << run.Output();
            run.Type(at(step.type));
        }
        EXPECT_EQ(0, run.Wait());
        for (const std::string& made : c.made) {
            EXPECT_EQ(ReadFileBytes(expected), ReadFileBytes(folder.root.File(made))) << made;
            EXPECT_EQ(ReadFileBytes(expected), ReadFileBytes(folder.temporary)) << made;
        }
        for (const std::string& absent : c.absent) EXPECT_FALSE(bmptest::FileExists(folder.root.File(absent))) << absent;
        if (c.made != std::vector<std::string>{"pictures/photo.bmp"}) {
            EXPECT_EQ(c.source, ReadFileBytes(folder.source));
        }
        EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), ReadFileBytes(other));
    }
}

// --help and --version alone are answered, for the person who typed them;
// anything else not a file stays the silent end of every refused run. With
// neither a display nor a terminal the dialog fails and the run ends so too.
TEST(DesktopPrompt, HelpAndVersionAreAnsweredAndNothingElse) {
    PromptFolder folder;
    bmptest::RunResult r = bmptest::RunProgram(folder.program, {"--version"});
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ(std::string("bmp256 ") + BMP256_VERSION + "\n", r.out);
    r = bmptest::RunProgram(folder.program, {"--help"});
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ(0u, r.out.find("usage: bmp256 FILE\n")) << r.out;
    EXPECT_TRUE(r.err.empty());
    const std::vector<std::string> silent[] = {{"--help", folder.source}, {"-h"}, {"--frobnicate"}, {folder.source}};
    for (const std::vector<std::string>& arguments : silent) {
        bmptest::RunOptions options;
        options.detachTerminal = true;
        r = bmptest::RunProgram(folder.program, arguments, options);
        EXPECT_EQ(0, r.exitCode) << arguments[0];
        EXPECT_TRUE(r.out.empty() && r.err.empty()) << arguments[0];
    }
    EXPECT_FALSE(bmptest::FileExists(folder.temporary));
}

}  // namespace
