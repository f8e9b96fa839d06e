// SPDX-License-Identifier: LGPL-2.1-or-later
#include "platform/registry.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/posix_file.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

using test::TempRoot;
namespace fs = std::filesystem;

// Every value type, with strings that need escaping, survives the text form unchanged.
TEST(HiveDataTest, TextFormKeepsEveryTypeAndAwkwardString) {
    HiveData d;
    d.setValue("A\\B", "plain", RegValue::string("say \"hi\" \\ back\\slash\nnew\tline\x01 é"));
    d.setValue("A\\B", "", RegValue::string("default value"));
    d.setValue("A\\B", "exp", RegValue::expandString("%HOME%\\x"));
    d.setValue("A\\B", "multi", RegValue::multiString({"Lumacam", "with,comma", "q\"uote"}));
    d.setValue("A\\B", "nomulti", RegValue::multiString({}));
    d.setValue("A\\B", "dw", RegValue::fromDword(0xFFFFFFFF));
    d.setValue("A\\B", "bin", RegValue::binary({0x00, 0x7f, 0xff}));
    d.setValue("A\\B", "nobin", RegValue::binary({}));
    d.createKey("A\\Empty");

    std::string error;
    auto back = HiveData::parse(d.serialize(), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, d);
    EXPECT_TRUE(back->hasKey("A\\Empty"));
}

// The file stays readable by a person: one key a section, one value a line.
TEST(HiveDataTest, TextFormIsReadable) {
    HiveData d;
    d.setValue("SYSTEM\\Dev\\0000", "FriendlyName", RegValue::string("Lumaghost"));
    d.setValue("SYSTEM\\Dev\\0000\\Device Parameters", "FrameWidth", RegValue::fromDword(320));
    std::string text = d.serialize();
    EXPECT_NE(text.find("[SYSTEM\\Dev\\0000]\n\"FriendlyName\"=\"Lumaghost\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"FrameWidth\"=dword:00000140"), std::string::npos);
}

TEST(HiveDataTest, NamesIgnoreCaseAndKeepTheirSpelling) {
    HiveData d;
    d.setValue("Software\\Quillmoor", "AutoPlay", RegValue::string("a"));
    d.setValue("SOFTWARE\\quillmoor", "AUTOPLAY", RegValue::string("b"));
    ASSERT_NE(d.value("software\\QUILLMOOR", "autoplay"), nullptr);
    EXPECT_EQ(d.value("software\\QUILLMOOR", "autoplay")->text, "b");
    EXPECT_EQ(d.valueNames("Software\\Quillmoor"), std::vector<std::string>{"AutoPlay"});
    EXPECT_EQ(d.subkeys("Software"), std::vector<std::string>{"Quillmoor"});
}

// Deleting a key takes its subtree, but not a sibling whose name starts the same way.
TEST(HiveDataTest, DeleteKeyTakesSubtreeOnly) {
    HiveData d;
    d.setValue("Root\\MEDIA\\0000\\Device Parameters", "x", RegValue::fromDword(1));
    d.setValue("Root\\MEDIA\\0000X", "y", RegValue::fromDword(2));
    d.setValue("Root\\MEDIA\\0001", "z", RegValue::fromDword(3));
    EXPECT_TRUE(d.deleteKey("root\\media\\0000"));
    EXPECT_FALSE(d.hasKey("Root\\MEDIA\\0000\\Device Parameters"));
    EXPECT_TRUE(d.hasKey("Root\\MEDIA\\0000X"));
    EXPECT_EQ(d.subkeys("Root\\MEDIA"), (std::vector<std::string>{"0000X", "0001"}));
    EXPECT_FALSE(d.deleteKey("Root\\MEDIA\\0000"));
}

TEST(HiveDataTest, SubkeysAreDirectChildrenOnly) {
    HiveData d;
    d.createKey("A\\B\\C\\D");
    d.createKey("A\\B2");
    d.createKey("AB");
    EXPECT_EQ(d.subkeys("A"), (std::vector<std::string>{"B", "B2"}));
    EXPECT_EQ(d.subkeys(""), (std::vector<std::string>{"A", "AB"}));
    EXPECT_TRUE(d.hasKey("A\\B\\C"));
}

TEST(HiveDataTest, MalformedTextIsRejectedWithItsLine) {
    const char *bad[] = {
        "\"v\"=\"outside a key\"\n",   "[K]\n\"v\"=dword:123456789\n", "[K]\n\"v\"=hex:0g\n",
        "[K]\n\"v\"=\"unterminated\n", "[K]\nnoquotes=\"x\"\n",        "[]\n",
    };
    for (const char *text : bad) {
        std::string error;
        EXPECT_FALSE(HiveData::parse(text, &error)) << text;
        EXPECT_NE(error.find("line"), std::string::npos) << text;
    }
}

// What can be read of a malformed text is kept: a bad value line alone is left out, a bad key
// line with the values under it, and the first line left out is named.
TEST(HiveDataTest, ReadablePartsOfMalformedTextAreKept) {
    const std::string text =
        "[K]\n\"a\"=dword:00000001\n\"b\"=dword:123456789\n\"c\"=\"three\"\n"
        "[bad\n\"d\"=\"under a bad key\"\n[L]\nnoquotes=1\n\"e\"=multi:\"x\",\"y\"\n";
    std::string problem;
    const HiveData d = HiveData::parseReadable(text, &problem);
    EXPECT_EQ(problem, "line 3: malformed value data");
    ASSERT_TRUE(d.value("K", "a"));
    EXPECT_EQ(d.value("K", "a")->dword, 1u);
    EXPECT_FALSE(d.value("K", "b"));
    EXPECT_EQ(d.value("K", "c")->text, "three");
    EXPECT_FALSE(d.hasKey("bad"));
    EXPECT_EQ(d.value("L", "e")->strings, (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(d.valueNames("L"), (std::vector<std::string>{"e"}));
    // A well-formed text names no problem and reads as parse() reads it.
    problem.clear();
    EXPECT_EQ(HiveData::parseReadable(d.serialize(), &problem), d);
    EXPECT_TRUE(problem.empty());
}

// Equal contents compare equal whatever order they were made in; spelling and value order count.
TEST(HiveDataTest, EqualityIsAboutContentsNotHistory) {
    HiveData a, b;
    a.setValue("K\\Sub", "x", RegValue::fromDword(1));
    a.setValue("K", "y", RegValue::string("y"));
    a.createKey("Other\\Deep");
    b.createKey("Other\\Deep\\Gone");
    b.setValue("K", "y", RegValue::string("y"));
    b.setValue("K\\Sub", "x", RegValue::fromDword(1));
    EXPECT_NE(a, b);
    EXPECT_TRUE(b.deleteKey("other\\deep\\gone"));
    EXPECT_EQ(a, b);
    EXPECT_TRUE(b.hasKey("Other\\Deep"));  // the parent stays when its last subkey goes

    HiveData spelled;
    spelled.setValue("k\\Sub", "x", RegValue::fromDword(1));
    spelled.setValue("K", "y", RegValue::string("y"));
    spelled.createKey("Other\\Deep");
    EXPECT_NE(spelled, a);

    HiveData order;
    order.setValue("K", "z", RegValue::string("z"));
    order.setValue("K", "y", RegValue::string("y"));
    HiveData other;
    other.setValue("K", "y", RegValue::string("y"));
    other.setValue("K", "z", RegValue::string("z"));
    EXPECT_NE(order, other);
    EXPECT_EQ(order.valueNames("K"), (std::vector<std::string>{"z", "y"}));
}

// A key deleted and made again, and keys made in place of deleted ones, are as new.
TEST(HiveDataTest, DeletedKeysLeaveNothingBehind) {
    HiveData d;
    d.setValue("A\\B\\C", "v", RegValue::fromDword(1));
    d.setValue("A\\B\\C\\D", "w", RegValue::fromDword(2));
    EXPECT_TRUE(d.deleteKey("A\\B"));
    EXPECT_FALSE(d.hasKey("A\\B\\C"));
    EXPECT_EQ(d.value("A\\B\\C", "v"), nullptr);
    EXPECT_EQ(d.subkeys("A"), std::vector<std::string>{});
    d.createKey("A\\B\\C");
    d.createKey("X\\Y");
    EXPECT_EQ(d.value("A\\B\\C", "v"), nullptr);
    EXPECT_EQ(d.subkeys("A\\B\\C"), std::vector<std::string>{});
    EXPECT_EQ(d.subkeys("X"), std::vector<std::string>{"Y"});
    EXPECT_FALSE(d.deleteKey(""));
    EXPECT_FALSE(d.hasKey(""));
    EXPECT_FALSE(d.deleteKey("A\\Missing\\B"));
    EXPECT_EQ(*HiveData::parse(d.serialize()), d);
}

// Contents moved away leave an empty hive that can be used again.
TEST(HiveDataTest, MovedFromContentsAreEmpty) {
    HiveData a;
    a.setValue("K\\Sub", "v", RegValue::fromDword(1));
    HiveData b = std::move(a);
    EXPECT_TRUE(b.hasKey("K\\Sub"));
    EXPECT_FALSE(a.hasKey("K"));
    EXPECT_EQ(a.subkeys(""), std::vector<std::string>{});
    EXPECT_FALSE(a.deleteKey("K"));
    EXPECT_EQ(a, HiveData());
    EXPECT_EQ(a.serialize(), HiveData().serialize());
    a.setValue("K", "v", RegValue::fromDword(2));
    EXPECT_EQ(a.value("K", "v")->dword, 2u);
}

// A value set again later in the file replaces the first in its place, for keys with few or
// with very many values alike.
TEST(HiveDataTest, RepeatedValuesReplaceInPlace) {
    for (int count : {3, 5000}) {
        std::string text = "[K]\n";
        for (int i = 0; i < count; ++i)
            text += "\"v" + std::to_string(i) + "\"=dword:" + std::to_string(i) + "\n";
        text += "[Other]\n[k]\n\"V1\"=\"again\"\n\"new\"=dword:7\n";
        auto d = HiveData::parse(text);
        ASSERT_TRUE(d) << count;
        auto names = d->valueNames("K");
        ASSERT_EQ(names.size(), size_t(count) + 1) << count;
        EXPECT_EQ(names[1], "v1");
        EXPECT_EQ(names.back(), "new");
        EXPECT_EQ(d->value("K", "v1")->text, "again");
        EXPECT_EQ(d->value("K", "v0")->dword, 0u);
        EXPECT_EQ(*HiveData::parse(d->serialize()), *d);
    }
}

// A hive of one very deep key (400 KB) is read in memory that grows with the file, not with
// the square of its depth: a reader under a 512 MiB address-space limit parses, queries,
// writes back and deletes it.
TEST(HiveDataTest, DeepKeyPathsTakeMemoryInProportion) {
    constexpr int kDepth = 200000;
    std::string path;
    path.reserve(2 * kDepth);
    for (int i = 0; i < kDepth; ++i)
        path += i ? "\\a" : "a";
    const std::string text = "[" + path + "]\n\"v\"=dword:00000001\n";

    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The child reports by its exit status alone; running out of memory is status 6.
        auto check = [&]() -> int {
            rlimit limit{512u << 20, 512u << 20};
            if (setrlimit(RLIMIT_AS, &limit) != 0)
                return 2;
            auto d = HiveData::parse(text);
            std::string_view upper = std::string_view(path).substr(0, 2 * 1000 - 1);
            if (!d || !d->hasKey(path) || !d->value(path, "v") || !d->hasKey(upper) ||
                d->subkeys(upper) != std::vector<std::string>{"a"})
                return 3;
            if (d->serialize().find("[" + path + "]\n\"v\"=dword:00000001\n") == std::string::npos)
                return 4;
            HiveData copy = *d;
            if (!(copy == *d) || !d->deleteKey(std::string_view(path).substr(0, 2 * 10 - 1)) ||
                d->hasKey(path) || copy == *d)
                return 5;
            return 0;
        };
        int code = 6;
        try {
            code = check();
        } catch (...) {
        }
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "the reader was killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0)
        << "3 to 5: wrong contents, 6: out of memory";
}

TEST(RegValueTest, RawDataHasRegistryLayout) {
    std::vector<uint8_t> multi = RegValue::multiString({"Lumacam"}).rawData();
    EXPECT_EQ(multi, (std::vector<uint8_t>{'L', 'u', 'm', 'a', 'c', 'a', 'm', 0, 0}));
    EXPECT_EQ(RegValue::fromDword(0x01020304).rawData(), (std::vector<uint8_t>{4, 3, 2, 1}));
    EXPECT_EQ(RegValue::string("ab").rawData(), (std::vector<uint8_t>{'a', 'b', 0}));
}

// Multi-string data splits into its entries up to the empty one or the end of the data, a last
// entry without its NUL included; rawData's layout comes back as it went in.
TEST(RegValueTest, MultiStringDataSplitsAtItsNuls) {
    const std::vector<std::string> ids{"Lumacam", "ROOT\\Lumacam"};
    const std::vector<uint8_t> raw = RegValue::multiString(ids).rawData();
    EXPECT_EQ(splitMultiString(raw.data(), raw.size()), ids);
    const uint8_t afterEmpty[] = {'a', 0, 0, 'b', 0};
    EXPECT_EQ(splitMultiString(afterEmpty, sizeof(afterEmpty)), std::vector<std::string>{"a"});
    const uint8_t unterminated[] = {'a', 0, 'b', 'c'};
    EXPECT_EQ(splitMultiString(unterminated, sizeof(unterminated)),
              (std::vector<std::string>{"a", "bc"}));
    EXPECT_TRUE(splitMultiString(nullptr, 0).empty());
    const uint8_t empty[] = {0, 0};
    EXPECT_TRUE(splitMultiString(empty, sizeof(empty)).empty());
}

TEST(RegistryHiveTest, MissingFileIsEmptyAndWritesCreateIt) {
    TempRoot root;
    RegistryHive hive(root.path() / "deep" / "dir" / "hive.ini");
    EXPECT_FALSE(hive.keyExists("A"));
    EXPECT_TRUE(hive.writable());
    ASSERT_TRUE(hive.setValue("A\\B", "v", RegValue::fromDword(7)).succeeded());
    EXPECT_EQ(hive.value("a\\b", "V")->dword, 7u);
    EXPECT_EQ(hive.subkeys("A"), std::vector<std::string>{"B"});
    EXPECT_EQ(hive.deleteValue("A\\B", "missing"), hresultFromWin32(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(hive.deleteKey("A").succeeded());
    EXPECT_FALSE(hive.keyExists("A\\B"));
}

// A hive a group shares (the machine hive and group video) keeps its mode and group whoever
// replaces it last; a member of the group who owns neither the hive nor its lock file may
// write it, in a group-writable directory. Catches a lock file opened for writing (refused to
// the member) and a replacement that takes the writer's group.
TEST(RegistryHiveTest, SharedHiveKeepsModeAndGroupAndTakesGroupMembers) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    TempRoot root;
    fs::permissions(root.path(), fs::perms(0755));
    for (const bool setgid : {false, true}) {
        const fs::path dir = root.path() / (setgid ? "shared" : "plain");
        fs::create_directories(dir);
        ASSERT_EQ(::chown(dir.c_str(), 0, test::kSharedGroup), 0);
        ASSERT_EQ(::chmod(dir.c_str(), setgid ? 02775 : 0775), 0);
        RegistryHive hive(dir / "machine.ini");
        ASSERT_TRUE(hive.setValue("K", "by", RegValue::string("root")).succeeded());
        ASSERT_EQ(::chown(hive.file().c_str(), 0, test::kSharedGroup), 0);
        ASSERT_EQ(::chmod(hive.file().c_str(), 0640), 0);

        ASSERT_TRUE(hive.setValue("K", "by", RegValue::string("root again")).succeeded());
        struct stat st {};
        ASSERT_EQ(::stat(hive.file().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u) << dir;
        EXPECT_EQ(st.st_gid, test::kSharedGroup) << dir;

        const int member = test::runAsOtherUser([&] {
            if (!hive.writable())
                return 1;
            return hive.setValue("K", "by", RegValue::string("member")).succeeded() ? 0 : 2;
        });
        EXPECT_EQ(member, 0) << dir;
        EXPECT_EQ(hive.value("K", "by")->text, "member");
        ASSERT_EQ(::stat(hive.file().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u) << dir;
        EXPECT_EQ(st.st_gid, test::kSharedGroup) << dir;
        EXPECT_EQ(st.st_uid, test::kOtherUser) << dir;
    }
}

// Group video may put anything at the machine hive's names. A lock file made a symbolic link
// into a root-only folder, or at /etc/nologin's like, is replaced and the folder stays as it was;
// a hive made a link to a root-only file is replaced by a hive of its own mode (0664, group
// video) and the file it pointed at is neither read nor changed. Catches a root writer that
// follows either link, or keeps the mode of what the link pointed at.
TEST(RegistryHiveTest, MachineHiveWriterNeverFollowsLinks) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make root-only folders";
    TempRoot root;
    RegistryHive hive = machineHive();
    ASSERT_TRUE(hive.setValue("K", "v", RegValue::string("first")).succeeded());
    const fs::path dir = hive.file().parent_path();
    const fs::path folder = root.path() / "root-only";
    fs::create_directories(folder);
    ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
    const fs::path lock = hive.file().string() + ".lock";
    fs::remove(lock);
    fs::create_symlink(folder / "nologin", lock);
    ASSERT_TRUE(hive.setValue("K", "v", RegValue::string("second")).succeeded());
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_FALSE(fs::is_symlink(lock));
    EXPECT_EQ(hive.value("K", "v")->text, "second");

    const fs::path secret = folder / "secret.ini";
    test::writeFile(secret, "[Secret]\n\"word\"=\"swordfish\"\n");
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    fs::remove(hive.file());
    fs::create_symlink(secret, hive.file());
    HiveData data;
    ASSERT_TRUE(hive.read(data).succeeded());  // no hive, never read through the link
    EXPECT_FALSE(data.hasKey("Secret"));
    ASSERT_TRUE(hive.setValue("K", "v", RegValue::string("third")).succeeded());
    EXPECT_EQ(test::readFile(secret), "[Secret]\n\"word\"=\"swordfish\"\n");
    struct stat st {};
    ASSERT_EQ(::stat(secret.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ASSERT_EQ(::lstat(hive.file().c_str(), &st), 0);
    ASSERT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, kMachineHiveMode);
    if (videoGroupId() != static_cast<gid_t>(-1)) {
        EXPECT_EQ(st.st_gid, videoGroupId());
    }
    EXPECT_FALSE(hive.keyExists("Secret"));
    EXPECT_EQ(hive.value("K", "v")->text, "third");

    // A root-only regular file a member left at the name gives the hive its mode back too.
    ASSERT_EQ(::chmod(hive.file().c_str(), 0600), 0);
    ASSERT_TRUE(hive.setValue("K", "v", RegValue::string("fourth")).succeeded());
    ASSERT_EQ(::stat(hive.file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, kMachineHiveMode);
    (void)dir;
}

// A user outside the hive's directory group may neither write it nor be told it can.
TEST(RegistryHiveTest, NonMemberCannotWriteSharedHive) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    TempRoot root;
    fs::permissions(root.path(), fs::perms(0755));
    const fs::path dir = root.path() / "state";
    fs::create_directories(dir);
    ASSERT_EQ(::chmod(dir.c_str(), 02775), 0);  // group root: not the user's
    RegistryHive hive(dir / "machine.ini");
    ASSERT_TRUE(hive.setValue("K", "by", RegValue::string("root")).succeeded());
    EXPECT_EQ(test::runAsOtherUser([&] {
                  return (hive.writable() ? 1 : 0) |
                         (hive.setValue("K", "by", RegValue::string("x")).succeeded() ? 2 : 0);
              }),
              0);
    EXPECT_EQ(hive.value("K", "by")->text, "root");
}

// A file that cannot be parsed is never overwritten: nothing in it is lost.
TEST(RegistryHiveTest, MalformedFileIsNotOverwritten) {
    TempRoot root;
    auto file = root.path() / "hive.ini";
    test::writeFile(file, "[K]\n\"v\"=garbage\n");
    RegistryHive hive(file);
    HiveData d;
    std::string error;
    EXPECT_TRUE(hive.read(d, &error).failed());
    EXPECT_EQ(error, file.string() + ", line 2: malformed value data");
    EXPECT_TRUE(hive.setValue("K", "w", RegValue::fromDword(1)).failed());
    EXPECT_EQ(test::readFile(file), "[K]\n\"v\"=garbage\n");
}

// A change that fails leaves the file as it was.
TEST(RegistryHiveTest, FailedChangeWritesNothing) {
    TempRoot root;
    RegistryHive hive(root.path() / "hive.ini");
    ASSERT_TRUE(hive.setValue("K", "v", RegValue::fromDword(1)).succeeded());
    HResult r = hive.modify([](HiveData &d) {
        d.setValue("K", "v", RegValue::fromDword(2));
        return E_FAIL;
    });
    EXPECT_EQ(r, E_FAIL);
    EXPECT_EQ(hive.value("K", "v")->dword, 1u);
}

// Writers in several processes at once: every value each of them set is there afterwards.
TEST(RegistryHiveTest, ConcurrentWritersInProcessesLoseNothing) {
    TempRoot root;
    auto file = root.path() / "hive.ini";
    constexpr int kProcesses = 4, kValues = 25;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            RegistryHive hive(file);
            for (int i = 0; i < kValues; ++i) {
                std::string name = "p" + std::to_string(p) + "v" + std::to_string(i);
                if (hive.setValue("Shared\\Key", name, RegValue::fromDword(p * 100 + i)).failed())
                    _exit(1);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    HiveData d;
    ASSERT_TRUE(RegistryHive(file).read(d).succeeded());
    EXPECT_EQ(d.valueNames("Shared\\Key").size(), size_t{kProcesses * kValues});
    for (int p = 0; p < kProcesses; ++p) {
        for (int i = 0; i < kValues; ++i) {
            const RegValue *v =
                d.value("Shared\\Key", "p" + std::to_string(p) + "v" + std::to_string(i));
            ASSERT_NE(v, nullptr);
            EXPECT_EQ(v->dword, static_cast<uint32_t>(p * 100 + i));
        }
    }
}

}  // namespace
}  // namespace lumaghost
