// SPDX-License-Identifier: LGPL-2.1-or-later
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "platform/device_tree.h"
#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/platform_version.h"
#include "platform/posix_file.h"
#include "platform/video_nodes.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

using test::TempRoot;
namespace fs = std::filesystem;

TEST(PathsTest, MachinePathsLiveUnderTheRoot) {
    TempRoot root;
    ::setenv("LUMAGHOST_ROOT", (root.path().string() + "//").c_str(), 1);
    EXPECT_EQ(machineHivePath(), root.path() / "var/lib/lumaghost/machine.ini");
    EXPECT_EQ(frameChannelDirectory(), root.path() / "run/lumaghost");
    ::unsetenv("LUMAGHOST_ROOT");
    EXPECT_EQ(machineHivePath(), "/var/lib/lumaghost/machine.ini");
}

TEST(PathsTest, UserHiveFollowsXdgConfigHome) {
    ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(userHivePath(), "/tmp/cfg/Quillmoor/Lumadesk.conf");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored, as XDG says
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(userHivePath(), "/home/u/.config/Quillmoor/Lumadesk.conf");
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(GuidTest, ParsesBracedAndBareFormsInEitherCase) {
    auto g = Guid::parse("{860bb310-5d01-11d0-bd3b-00a0c911ce86}");
    ASSERT_TRUE(g);
    EXPECT_EQ(*g, CLSID_VideoInputDeviceCategory);
    EXPECT_EQ(g->toString(), "{860BB310-5D01-11D0-BD3B-00A0C911CE86}");
    EXPECT_EQ(Guid::parse("860BB310-5D01-11D0-BD3B-00A0C911CE86"), g);
    EXPECT_FALSE(Guid::parse("{860BB310-5D01-11D0-BD3B-00A0C911CE8}"));
    EXPECT_FALSE(Guid::parse("{860BB310+5D01-11D0-BD3B-00A0C911CE86}"));
    EXPECT_FALSE(Guid::parse("{860BB310-5D01-11D0-BD3B-00A0C911CEXX}"));
}

TEST(IniFileTest, SectionsAndKeysIgnoreCaseAndStringsExpand) {
    auto ini = IniFile::parse(
        "; comment\n[Version]\n  Class = MEDIA \r\n[strings]\n"
        "Name=\"Lumaghost\"\n[Dev]\nFriendlyName=%name%\nPct=100%%\n"
        "Missing=%nope%\n");
    EXPECT_EQ(ini.value("VERSION", "class"), "MEDIA");
    EXPECT_EQ(ini.expandStrings(*ini.value("Dev", "FriendlyName")), "Lumaghost");
    EXPECT_EQ(ini.expandStrings(*ini.value("Dev", "Pct")), "100%");
    EXPECT_EQ(ini.expandStrings(*ini.value("Dev", "Missing")), "%nope%");
    EXPECT_FALSE(ini.value("Dev", "Absent"));
    EXPECT_FALSE(IniFile::load("/nonexistent/file.inf"));
}

// A section named again continues the first; the first line of a key counts.
TEST(IniFileTest, RepeatedSectionsMergeAndTheFirstKeyCounts) {
    auto ini = IniFile::parse("[A]\nk=1\n[B]\nk=2\n[a]\nK=3\nj=4\n");
    EXPECT_EQ(ini.value("A", "k"), "1");
    EXPECT_EQ(ini.value("a", "J"), "4");
    EXPECT_EQ(ini.value("B", "k"), "2");
    EXPECT_EQ(ini.entries("A"), (std::vector<std::pair<std::string, std::string>>{
                                    {"k", "1"}, {"K", "3"}, {"j", "4"}}));
}

// Expansion stops at a bound, however many tokens or long strings the file holds.
TEST(IniFileTest, ExpansionIsBounded) {
    auto ini = IniFile::parse("[Strings]\nTen=\"0123456789\"\n");
    EXPECT_EQ(ini.expandStrings("%Ten%%Ten%", 20), "01234567890123456789");
    EXPECT_FALSE(ini.expandStrings("%Ten%%Ten%", 19));
    EXPECT_FALSE(ini.expandStrings("%Ten%%%", 10));
    EXPECT_EQ(ini.expandStrings("%%%%", 2), "%%");
    EXPECT_FALSE(ini.expandStrings("%unknown%", 8));
    std::string many;
    for (int i = 0; i < 1000; ++i)
        many += "%Ten%";
    EXPECT_FALSE(ini.expandStrings(many));
    EXPECT_EQ(ini.expandStrings(many, 10000)->size(), 10000u);

    TempRoot root;
    ASSERT_EQ(::mkfifo((root.path() / "fifo.inf").c_str(), 0600), 0);
    int error = 0;
    EXPECT_FALSE(IniFile::load(root.path() / "fifo.inf", &error));
    EXPECT_EQ(error, EINVAL);
    EXPECT_FALSE(IniFile::load(root.path() / "absent.inf", &error));
    EXPECT_EQ(error, ENOENT);
}

// Instance numbers are generated as the first free one, per enumerator.
TEST(DeviceTreeTest, CreateTakesFirstFreeInstanceNumber) {
    TempRoot root;
    RegistryHive hive(root.path() / "m.ini");
    DeviceTree tree(hive);
    Guid media = *Guid::parse("{4d36e96c-e325-11ce-bfc1-08002be10318}");
    DeviceInstance a, b, c;
    ASSERT_TRUE(tree.createInstance("Media", media, a).succeeded());
    ASSERT_TRUE(tree.createInstance("MEDIA", media, b).succeeded());
    EXPECT_EQ(a.instanceId(), "ROOT\\MEDIA\\0000");
    EXPECT_EQ(b.instanceId(), "ROOT\\MEDIA\\0001");
    ASSERT_TRUE(tree.removeInstance(a).succeeded());
    ASSERT_TRUE(tree.createInstance("MEDIA", media, c).succeeded());
    EXPECT_EQ(c.number, "0000");
    EXPECT_EQ(hive.value(c.keyPath(), kClassGuidValue)->text, media.toString());
    EXPECT_EQ(c.driverKeyPath(),
              "SYSTEM\\CurrentControlSet\\Enum\\Root\\MEDIA\\0000\\Device Parameters");
    EXPECT_EQ(tree.instances("media").size(), 2u);
    EXPECT_TRUE(tree.createInstance("Bad\\Name", media, c).failed());
}

// A FIFO, a directory or a device a user names must be refused at once, never waited on or
// read without end.
TEST(PosixFileTest, OnlyRegularFilesAreOpenedAndReadsAreBounded) {
    TempRoot root;
    fs::path fifo = root.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    UniqueFd fd;
    EXPECT_EQ(openRegularFile(fifo, O_RDONLY, fd), EINVAL);
    EXPECT_EQ(openRegularFile(root.path(), O_RDONLY, fd), EINVAL);
    EXPECT_EQ(openRegularFile("/dev/zero", O_RDONLY, fd), EINVAL);
    EXPECT_EQ(openRegularFile(root.path() / "absent", O_RDONLY, fd), ENOENT);
    EXPECT_FALSE(fd);

    std::string text;
    EXPECT_EQ(readWholeFile(fifo, text), EINVAL);
    EXPECT_EQ(readWholeFile("/dev/zero", text), EINVAL);

    test::writeFile(root.path() / "f", "0123456789");
    ASSERT_EQ(openRegularFile(root.path() / "f", O_RDONLY, fd), 0);
    EXPECT_EQ(::fcntl(fd.get(), F_GETFL) & O_NONBLOCK, 0);  // blocking again once checked
    EXPECT_EQ(readWholeFile(root.path() / "f", text), 0);
    EXPECT_EQ(text, "0123456789");
    EXPECT_EQ(readWholeFile(root.path() / "f", text, 9), EFBIG);
    EXPECT_EQ(readWholeFile(root.path() / "f", text, 10), 0);
}

// A file a member of group video names reaches the reader only when the group could read it
// itself: never a root-only file, a file in a folder the group may not search, a symbolic link
// (whatever it points at), a FIFO, a device, a file of /proc or /sys, or one beyond the bound.
// Catches a root reader that follows a link or reads what only root may.
TEST(PosixFileTest, SharedFilesOpenOnlyWhatGroupVideoMayRead) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make root-only files";
    TempRoot root;
    const fs::path open = root.path() / "open.lgs";
    test::writeFile(open, "0123456789");
    ASSERT_EQ(::chmod(open.c_str(), 0644), 0);
    const fs::path secret = root.path() / "private.lgs";
    test::writeFile(secret, "0123456789");
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    const fs::path hidden = root.path() / "root-only";
    fs::create_directories(hidden);
    ASSERT_EQ(::chmod(hidden.c_str(), 0700), 0);
    test::writeFile(hidden / "readable.lgs", "0123456789");
    ASSERT_EQ(::chmod((hidden / "readable.lgs").c_str(), 0644), 0);
    fs::create_symlink(secret, root.path() / "to-private.lgs");
    fs::create_symlink(open, root.path() / "to-open.lgs");
    const fs::path fifo = root.path() / "fifo.lgs";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);

    const struct {
        fs::path path;
        int error;
    } cases[] = {
        {secret, EACCES},
        {hidden / "readable.lgs", EACCES},
        {root.path() / "to-private.lgs", ELOOP},
        {root.path() / "to-open.lgs", ELOOP},
        {fifo, EINVAL},
        {"/proc/self/status", ENODEV},
        {"/proc/1/environ", EACCES},
        {"/proc/self/fd/0", ELOOP},
        {"/sys/kernel/mm/transparent_hugepage/enabled", ENODEV},
        {"/dev/zero", EINVAL},
        {"/dev/null", EINVAL},
        {"/dev/stdin", ELOOP},
        {root.path() / "absent", ENOENT},
    };
    for (const auto &c : cases) {
        UniqueFd fd;
        const int got = openSharedFile(c.path, 1 << 20, fd);
        if (c.path.string().rfind("/sys/", 0) == 0 && got == ENOENT)
            continue;  // no such file on this kernel
        EXPECT_EQ(got, c.error) << c.path << ": " << sharedFileProblem(got);
        EXPECT_FALSE(fd) << c.path;
    }
    UniqueFd fd;
    EXPECT_EQ(openSharedFile(open, 9, fd), EFBIG);
    ASSERT_EQ(openSharedFile(open, 10, fd), 0);
    EXPECT_EQ(::fcntl(fd.get(), F_GETFL) & O_NONBLOCK, 0);
    // The reader's own rights come back once the file is open.
    EXPECT_EQ(::access(secret.c_str(), R_OK), 0);
    UniqueFd mine(::open(secret.c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_TRUE(mine);
    EXPECT_EQ(sharedFileProblem(ELOOP), "it is a symbolic link");
    EXPECT_EQ(sharedFileProblem(EACCES), "group video may not read it");
}

// A writer's own file in a directory others may write is never made through a link: a symbolic
// link, dangling or not, or a FIFO at its name is replaced by a new regular file, and what the
// link pointed at is left alone. Catches an O_CREAT open that follows a planted link.
TEST(PosixFileTest, WritersNeverCreateThroughALink) {
    TempRoot root;
    UniqueFd dir;
    ASSERT_EQ(openDirectory(root.path(), dir), 0);
    const fs::path elsewhere = root.path() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_symlink(elsewhere / "made", root.path() / "dangling.lock");
    test::writeFile(root.path() / "target", "kept");
    fs::create_symlink(root.path() / "target", root.path() / "link.lock");
    ASSERT_EQ(::mkfifo((root.path() / "fifo.lock").c_str(), 0644), 0);
    for (const char *name : {"dangling.lock", "link.lock", "fifo.lock", "new.lock"}) {
        UniqueFd fd;
        ASSERT_EQ(openOrCreateAt(dir.get(), name, O_RDONLY, 0644, fd), 0) << name;
        struct stat st {};
        ASSERT_EQ(::lstat((root.path() / name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
        EXPECT_EQ(st.st_size, 0) << name;
    }
    EXPECT_FALSE(fs::exists(elsewhere / "made"));
    EXPECT_EQ(test::readFile(root.path() / "target"), "kept");
    // An existing lock file is opened as it is.
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat((root.path() / "new.lock").c_str(), &before), 0);
    UniqueFd again;
    ASSERT_EQ(openOrCreateAt(dir.get(), "new.lock", O_RDONLY, 0644, again), 0);
    ASSERT_EQ(::stat((root.path() / "new.lock").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    // A directory given through a link is refused.
    fs::create_symlink(elsewhere, root.path() / "linked-dir");
    UniqueFd linked;
    const int err = openDirectory(root.path() / "linked-dir", linked);
    EXPECT_TRUE(err == ELOOP || err == ENOTDIR) << err;
}

// Each errno value that callers tell apart keeps its own result; what no caller tells apart is a
// plain failure.
TEST(HResultTest, ErrnoValuesMapToOneResultEach) {
    const struct {
        int error;
        HResult result;
    } cases[] = {
        {0, S_OK},
        {ENOENT, hresultFromWin32(ERROR_FILE_NOT_FOUND)},
        {ENOTDIR, hresultFromWin32(ERROR_FILE_NOT_FOUND)},
        {EACCES, E_ACCESSDENIED},
        {EPERM, E_ACCESSDENIED},
        {EROFS, E_ACCESSDENIED},
        {EEXIST, hresultFromWin32(ERROR_ALREADY_EXISTS)},
        {ENOMEM, E_OUTOFMEMORY},
        {ENOSPC, hresultFromWin32(ERROR_DISK_FULL)},
        {EFBIG, hresultFromWin32(ERROR_FILE_TOO_LARGE)},
        {EINVAL, hresultFromWin32(ERROR_INVALID_DATA)},
        {ELOOP, hresultFromWin32(ERROR_INVALID_DATA)},
        {EIO, E_FAIL},
    };
    for (const auto &c : cases)
        EXPECT_EQ(hresultFromErrno(c.error), c.result) << c.error;
}

// A Windows error number survives the trip through a result: the system's numbers as facility
// Win32, the device installer's and our own failure numbers as they are.
TEST(HResultTest, Win32NumbersComeBackFromTheirResults) {
    EXPECT_EQ(hresultFromWin32(ERROR_ACCESS_DENIED), E_ACCESSDENIED);
    EXPECT_EQ(hresultFromWin32(0), S_OK);
    for (uint32_t number : {0u, 2u, 5u, 1060u, 1073u, 0xE000020Bu, 0xE0000203u, 0xA0000001u}) {
        EXPECT_TRUE(number == 0 || hresultFromWin32(number).failed()) << std::hex << number;
        EXPECT_EQ(win32ErrorOf(hresultFromWin32(number)), number) << std::hex << number;
    }
    EXPECT_EQ(win32ErrorOf(S_FALSE), 0u);
    EXPECT_EQ(win32ErrorOf(E_FAIL), 0x80004005u);
}

// Only videoN names are taken, and only nodes that answer the capability query; a name whose
// number no long holds is passed over instead of ending the program.
TEST(VideoNodesTest, OnlyNodesThatAnswerAreListed) {
    TempRoot root;
    const fs::path dev = root.path() / "dev";
    for (const char *name :
         {"video0", "video", "videos", "video1a", "video3", "video99999999999999999999999999"})
        test::writeFile(dev / name, "no device");
    EXPECT_TRUE(listVideoNodes(dev).empty());
    EXPECT_TRUE(listVideoNodes(root.path() / "absent").empty());
    VideoNodeInfo info;
    EXPECT_FALSE(queryVideoNode(dev / "video0", info));
    EXPECT_FALSE(queryVideoNode("/dev/null", info));
}

class ScriptedVersions : public VersionSource {
public:
    bool extendedFails = false;
    int calls = 0;
    bool getVersionEx(OsVersionInfo &info) override {
        ++calls;
        if (info.recordSize == kVersionRecordExtended && extendedFails)
            return false;
        info.platformId = VER_PLATFORM_WIN32_WINDOWS;
        info.major = 4;
        info.minor = 90;
        return true;
    }
};

TEST(PlatformVersionTest, FallsBackToThePlainRecord) {
    ScriptedVersions v;
    v.extendedFails = true;
    OsVersionInfo info;
    ASSERT_TRUE(readPlatformVersion(v, info));
    EXPECT_EQ(info.recordSize, kVersionRecordPlain);
    EXPECT_EQ(v.calls, 2);

    ASSERT_TRUE(readPlatformVersion(systemVersionSource(), info));
    EXPECT_EQ(info.platformId, VER_PLATFORM_WIN32_NT);
}

}  // namespace
}  // namespace lumaghost
