// The desktop program under faults: the temporary file cannot be made, the
// copy fails half-way, the destination is a device, its folder goes away, or
// it is the source itself. Every run ends silently with exit code 0, and the
// destination holds either its old bytes or the whole new file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "safety/desktop/desktop_runs.h"

using bmptest::ReadFileBytes;
using bmptest::WriteFileBytes;
using namespace safetytest;

namespace {

const std::vector<uint8_t> kOldBytes = {'o', 'l', 'd', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'};

// Where the dialog's answer points, and what the destination held before.
enum class Target { kAbsent, kEarlierFile, kTheSource };
const Target kTargets[] = {Target::kAbsent, Target::kEarlierFile, Target::kTheSource};

const char* TargetName(Target target) {
    switch (target) {
        case Target::kAbsent: return "new destination";
        case Target::kEarlierFile: return "earlier destination";
        case Target::kTheSource: return "destination is the source";
    }
    return "";
}

// A source and a destination laid out for `target` in `folder`.
struct Scene {
    std::string source;
    std::string destination;
    std::vector<uint8_t> sourceBytes;
    std::vector<uint8_t> result;
    std::vector<uint8_t> before;  // the destination's bytes; empty: absent
};

Scene MakeScene(const RunFolder& folder, Target target) {
    Scene scene;
    scene.source = folder.Picture("photo.bmp");
    scene.sourceBytes = Picture(13, 7, 5);
    scene.result = ConvertedBytes(scene.sourceBytes);
    EXPECT_TRUE(WriteFileBytes(scene.source, scene.sourceBytes));
    scene.destination = target == Target::kTheSource ? scene.source : folder.Picture("out.bmp");
    if (target == Target::kEarlierFile) {
        EXPECT_TRUE(WriteFileBytes(scene.destination, kOldBytes));
    }
    scene.before = target == Target::kTheSource ? scene.sourceBytes
                   : target == Target::kEarlierFile ? kOldBytes
                                                    : std::vector<uint8_t>();
    return scene;
}

// The destination as it must be after a run that could not finish: its old
// bytes, or still absent; and no staging file left beside it.
void ExpectUntouched(const Scene& scene, const RunFolder& folder, const std::string& what) {
    bool ok = false;
    std::vector<uint8_t> now = ReadFileBytes(scene.destination, &ok);
    if (scene.before.empty()) {
        EXPECT_FALSE(bmptest::FileExists(scene.destination)) << what;
    } else {
        EXPECT_EQ(scene.before, now) << what;
    }
    for (const std::string& name : bmptest::ListDir(folder.pictures)) {
        EXPECT_TRUE(name == "photo.bmp" || name == "out.bmp") << what << ": left " << name;
    }
}

// Every run ends with exit code 0 and says nothing.
void RunSilently(RunRequest request, const RunFolder& folder, const std::string& what) {
    request.outputFile = folder.root.File("output.txt");
    EXPECT_EQ(0, Run(request)) << what;
    EXPECT_TRUE(ReadFileBytes(request.outputFile).empty()) << what << ": said something";
}

// The cache folder made as the program makes it, owned by `uid`.
bool MakeCacheFolder(const RunFolder& f, uid_t uid) {
    const std::string own = f.cache + "/bmp256";
    return mkdir(f.cache.c_str(), 0755) == 0 && mkdir(own.c_str(), 0700) == 0 &&
           chown(own.c_str(), uid, uid) == 0;
}

// The run as nobody, with the pictures open to it: from its side, whatever
// the test (root) made is another user's.
bool AsAnotherUser(const RunFolder& f, RunRequest* request) {
    if (!bmptest::CanDropToNobody()) return false;
    request->asNobody = true;
    chmod(f.root.path().c_str(), 0755);
    chmod(f.pictures.c_str(), 0777);
    for (const char* name : {"photo.bmp", "out.bmp"}) chmod(f.Picture(name).c_str(), 0666);
    return true;
}

// The temporary file is used only where nobody else can reach it: any of
// these ends the run with nothing written, and nothing of the other user's
// read or written.
TEST(DesktopFaults, TemporaryFileCannotBeMade) {
    struct Case {
        const char* what;
        // Blocks the temporary file; false when the case cannot be set up here.
        bool (*block)(const RunFolder& folder, RunRequest* request);
    };
    const Case cases[] = {
        {"temporary path is a folder",
         [](const RunFolder& f, RunRequest*) {
             return MakeCacheFolder(f, getuid()) && mkdir(f.temporary.c_str(), 0755) == 0;
         }},
        {"temporary path is a link",
         [](const RunFolder& f, RunRequest*) {
             return MakeCacheFolder(f, getuid()) && WriteFileBytes(f.root.File("victim"), kOldBytes) &&
                    symlink(f.root.File("victim").c_str(), f.temporary.c_str()) == 0;
         }},
        {"temporary file has a second link",
         [](const RunFolder& f, RunRequest*) {
             return MakeCacheFolder(f, getuid()) && WriteFileBytes(f.temporary, kOldBytes) &&
                    link(f.temporary.c_str(), f.root.File("second").c_str()) == 0;
         }},
        {"cache folder is a file",
         [](const RunFolder& f, RunRequest*) { return WriteFileBytes(f.cache, kOldBytes); }},
        {"cache folder is a link",
         [](const RunFolder& f, RunRequest*) {
             return mkdir(f.cache.c_str(), 0755) == 0 && mkdir(f.root.File("elsewhere").c_str(), 0700) == 0 &&
                    symlink(f.root.File("elsewhere").c_str(), (f.cache + "/bmp256").c_str()) == 0;
         }},
        {"cache folder writable by others",
         [](const RunFolder& f, RunRequest*) {
             return MakeCacheFolder(f, getuid()) && chmod((f.cache + "/bmp256").c_str(), 0777) == 0;
         }},
        {"cache folder of another user",
         [](const RunFolder& f, RunRequest* request) {
             return AsAnotherUser(f, request) && MakeCacheFolder(f, 0);
         }},
        {"temporary file planted by another user",
         [](const RunFolder& f, RunRequest* request) {
             return AsAnotherUser(f, request) && MakeCacheFolder(f, 65534) &&
                    WriteFileBytes(f.temporary, kOldBytes) && chmod(f.temporary.c_str(), 0666) == 0;
         }},
    };
    for (const Case& c : cases) {
        for (Target target : kTargets) {
            const std::string what = std::string(c.what) + ", " + TargetName(target);
            RunFolder folder;
            Scene scene = MakeScene(folder, target);
            RunRequest request = RequestFor(folder, scene.source, scene.destination);
            if (!c.block(folder, &request)) continue;
            const std::vector<uint8_t> planted = ReadFileBytes(folder.temporary);
            RunSilently(request, folder, what);
            ExpectUntouched(scene, folder, what);
            EXPECT_EQ(planted, ReadFileBytes(folder.temporary)) << what;
            if (target != Target::kTheSource) {
                EXPECT_EQ(scene.sourceBytes, ReadFileBytes(scene.source)) << what;
            }
        }
    }
}

// A lock file of another user, held by it, is never waited on: the run ends
// at once with nothing written.
TEST(DesktopFaults, LockHeldByAnotherUser) {
    RunFolder folder;
    Scene scene = MakeScene(folder, kTargets[0]);
    RunRequest request = RequestFor(folder, scene.source, scene.destination);
    if (!AsAnotherUser(folder, &request) || !MakeCacheFolder(folder, 65534)) {
        GTEST_SKIP() << "needs root to run the program as another user";
    }
    const std::string lock = folder.cache + "/bmp256/bmp256.lock";
    const int fd = open(lock.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, flock(fd, LOCK_EX));
    RunSilently(request, folder, "lock held by another user");
    ExpectUntouched(scene, folder, "lock held by another user");
    EXPECT_FALSE(bmptest::FileExists(folder.temporary));
    close(fd);
}

// The disk fills while the copy writes: the staging file beside the
// destination is given up, the destination keeps what it had, and the
// temporary file keeps the whole result. With room for the whole file the
// copy goes through.
TEST(DesktopFaults, CopyFailsHalfWay) {
    const size_t resultSize = ConvertedBytes(Picture(13, 7, 5)).size();
    ASSERT_GT(resultSize, 1078u);
    const size_t limits[] = {0, 1, 54, 1077, 1078, resultSize - 1, resultSize};
    for (size_t limit : limits) {
        for (Target target : kTargets) {
            const std::string what = "room for " + std::to_string(limit) + " bytes, " + TargetName(target);
            RunFolder folder;
            Scene scene = MakeScene(folder, target);
            RunRequest request = RequestFor(folder, scene.source, scene.destination);
            request.environment.push_back("BMP256_DOUBLE_COPY_LIMIT=" + std::to_string(limit));
            RunSilently(request, folder, what);
            if (limit < resultSize) {
                ExpectUntouched(scene, folder, what);
            } else {
                EXPECT_EQ(scene.result, ReadFileBytes(scene.destination)) << what;
            }
            EXPECT_EQ(scene.result, ReadFileBytes(folder.temporary)) << what;
        }
    }
}

// A destination that is a full device (the kind /dev/full is, made here so
// that the system's own device is never at stake), directly or through a
// link: not a file the copy may replace, so it is left alone.
TEST(DesktopFaults, DestinationIsAFullDevice) {
    RunFolder folder;
    Scene scene = MakeScene(folder, Target::kAbsent);
    const std::string device = folder.Picture("full"), link = folder.Picture("link.bmp");
    struct stat system;
    if (stat("/dev/full", &system) != 0 || !S_ISCHR(system.st_mode) ||
        mknod(device.c_str(), S_IFCHR | 0666, system.st_rdev) != 0) {
        GTEST_SKIP() << "cannot make a full device here (needs root and a file system with devices)";
    }
    ASSERT_EQ(0, symlink(device.c_str(), link.c_str()));
    for (const std::string& answer : {device, link}) {
        RunSilently(RequestFor(folder, scene.source, answer), folder, answer);
        struct stat after;
        ASSERT_EQ(0, stat(device.c_str(), &after)) << answer;
        EXPECT_TRUE(S_ISCHR(after.st_mode) && after.st_rdev == system.st_rdev) << answer;
        ASSERT_EQ(0, lstat(link.c_str(), &after)) << answer;
        EXPECT_TRUE(S_ISLNK(after.st_mode)) << answer;
        EXPECT_EQ(scene.result, ReadFileBytes(folder.temporary)) << answer;
        EXPECT_EQ((std::vector<std::string>{"full", "link.bmp", "photo.bmp"}), bmptest::ListDir(folder.pictures));
    }
    unlink(device.c_str());
}

// The destination's folder is removed after the dialog, while the run
// converts: nothing is made in its place.
TEST(DesktopFaults, DestinationFolderGoneBeforeTheCopy) {
    RunFolder folder;
    Scene scene = MakeScene(folder, Target::kAbsent);
    const std::string album = folder.Picture("album");
    ASSERT_EQ(0, mkdir(album.c_str(), 0755));
    const std::string destination = album + "/out.bmp";
    ASSERT_TRUE(WriteFileBytes(destination, kOldBytes));
    HoldPoint hold;
    RunRequest request = RequestFor(folder, scene.source, destination);
    request.environment.push_back(hold.Environment());
    const pid_t run = StartRun(request);
    ASSERT_TRUE(hold.WaitHeld(run));
    ASSERT_EQ(0, unlink(destination.c_str()));
    ASSERT_EQ(0, rmdir(album.c_str()));
    ASSERT_TRUE(hold.Release());
    EXPECT_EQ(0, WaitRun(run));
    EXPECT_FALSE(bmptest::FileExists(album));
    EXPECT_EQ(scene.result, ReadFileBytes(folder.temporary));
}

// The same file by several names: the source itself, a link to it, the
// temporary file. Each ends as the whole new file.
TEST(DesktopFaults, DestinationIsTheSourceOrTheTemporaryFile) {
    struct Case {
        const char* what;
        bool sourceIsTemporary;  // the picture lies at the temporary path
        bool answerIsLink;       // the answer is a link to the source
        bool answerIsTemporary;  // the answer is the temporary path
    };
    const Case cases[] = {
        {"the source", false, false, false},
        {"a link to the source", false, true, false},
        {"the temporary file", false, false, true},
        {"the source at the temporary path", true, false, false},
    };
    for (const Case& c : cases) {
        RunFolder folder;
        const std::vector<uint8_t> sourceBytes = Picture(9, 11, 21);
        const std::vector<uint8_t> result = ConvertedBytes(sourceBytes);
        const std::string source = c.sourceIsTemporary ? folder.temporary : folder.Picture("photo.bmp");
        if (c.sourceIsTemporary) {
            ASSERT_TRUE(MakeCacheFolder(folder, getuid()));
        }
        ASSERT_TRUE(WriteFileBytes(source, sourceBytes));
        std::string answer = source;
        if (c.answerIsLink) {
            answer = folder.Picture("link.bmp");
            ASSERT_EQ(0, symlink(source.c_str(), answer.c_str()));
        }
        if (c.answerIsTemporary) answer = folder.temporary;
        RunSilently(RequestFor(folder, source, answer), folder, c.what);
        EXPECT_EQ(result, ReadFileBytes(answer)) << c.what;
        EXPECT_EQ(result, ReadFileBytes(folder.temporary)) << c.what;
        if (c.answerIsLink) {
            struct stat info;
            ASSERT_EQ(0, lstat(answer.c_str(), &info));
            EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link itself was replaced";
            EXPECT_EQ(result, ReadFileBytes(source));
        }
        if (c.answerIsTemporary) {
            EXPECT_EQ(sourceBytes, ReadFileBytes(source)) << c.what;
        }
    }
}

}  // namespace
