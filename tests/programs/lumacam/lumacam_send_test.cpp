// SPDX-License-Identifier: LGPL-2.1-or-later
// lumacam send as a user runs it: a picture file composed into the camera by the switches.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include "device/frame_channel.h"
#include "device/installed_devices.h"
#include "frames/picture_file.h"
#include "platform/device_tree.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/device/test_camera.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

// Runs a program and returns its exit code, or -1 when a signal ended it. With `errors`, its
// standard error goes there; `limited` bounds its address space to 2 GB and its time to 60 s.
int run(std::vector<std::string> args, const std::filesystem::path &errors = {},
        bool limited = false) {
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (!errors.empty()) {
            int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fd, 2);
        }
        if (limited) {
            const rlimit memory{rlim_t{2} << 30, rlim_t{2} << 30};
            ::setrlimit(RLIMIT_AS, &memory);
            ::alarm(60);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct SendFixture : ::testing::Test {
    test::TempRoot root;
    DeviceInstance device{"MEDIA", "0000"};
    std::unique_ptr<FrameChannel> channel;

    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "cli_test";
        static char *argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static QGuiApplication app(argc, argv);
    }

    SendFixture() {
        EXPECT_TRUE(test::installCamera(device, "Lumaghost", {320, 240, 30}).succeeded());
        EXPECT_TRUE(FrameChannel::open(frameChannelPath(device), channel).succeeded());
    }

    std::string picture(const char *name, int w, int h) {
        QImage image(w, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image.setPixel(x, y, qRgb((x * 3) & 0xFF, (y * 5) & 0xFF, (x + y) & 0xFF));
        std::string path = (root.path() / name).string();
        EXPECT_TRUE(image.save(QString::fromStdString(path)));
        return path;
    }
};

// Every switch combination gives the frame the composition computes, for a PNG larger than the
// camera and for a smaller one.
TEST_F(SendFixture, EverySwitchCombinationReachesTheCamera) {
    for (auto [w, h] : {std::pair{400, 300}, std::pair{100, 60}}) {
        const std::string file = picture(("p" + std::to_string(w) + ".png").c_str(), w, h);
        const QImage decoded = loadPictureFile(QString::fromStdString(file));
        ASSERT_FALSE(decoded.isNull());
        for (int s = 0; s < 8; ++s) {
            const FitFlags flags{s & 1, (s >> 1) & 1, (s >> 2) & 1};
            const uint64_t before = channel->commitSequence();
            ASSERT_EQ(run({LUMACAM_PATH, "send", file, "--stretch", std::to_string(flags.stretch),
                           "--keep-ratio", std::to_string(flags.keepRatio), "--center",
                           std::to_string(flags.center)}),
                      0);
            EXPECT_EQ(channel->commitSequence(), before + 1);
            std::vector<uint8_t> frame, expected(320 * 240 * 3);
            ASSERT_TRUE(channel->readLatest(frame));
            composePictureFrame(imageView(decoded), {expected.data(), 320, 240, expected.size()},
                                flags);
            ASSERT_EQ(frame, expected) << w << "x" << h << " switches " << flags.stretch
                                       << flags.keepRatio << flags.center;
        }
    }
}

// A file that is no picture fails with 1 and the camera keeps its frame; bad switches are usage.
TEST_F(SendFixture, BadInputLeavesTheCameraAlone) {
    const std::string good = picture("good.png", 320, 240);
    ASSERT_EQ(run({LUMACAM_PATH, "send", good}), 0);
    test::writeFile(root.path() / "text.png", "not a picture at all");
    EXPECT_EQ(run({LUMACAM_PATH, "send", (root.path() / "text.png").string()}), 1);
    EXPECT_EQ(run({LUMACAM_PATH, "send", (root.path() / "missing.bmp").string()}), 1);
    EXPECT_EQ(run({LUMACAM_PATH, "send", good, "--device", "Nobody"}), 1);
    EXPECT_EQ(run({LUMACAM_PATH, "send", good, "--stretch", "2"}), 2);
    EXPECT_EQ(channel->commitSequence(), 1u);
}

// A device or a FIFO named as the picture cannot be opened: lumacam says so and fails at once,
// instead of reading without end or waiting for a writer. Its memory and time are bounded here
// so that a regression fails rather than exhausting the machine.
TEST_F(SendFixture, NonRegularFilesAreRefusedAtOnce) {
    const auto fifo = root.path() / "pipe.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto errors = root.path() / "errors.txt";
    for (const std::string &file : {std::string("/dev/zero"), fifo.string()}) {
        EXPECT_EQ(run({LUMACAM_PATH, "send", file}, errors, true), 1) << file;
        const std::string said = test::readFile(errors);
        EXPECT_NE(said.find("lumacam: Cannot load " + file + ": Not a regular file\n"),
                  std::string::npos)
            << said;
    }
    EXPECT_EQ(channel->commitSequence(), 0u);
}

}  // namespace
}  // namespace lumaghost
