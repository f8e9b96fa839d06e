// SPDX-License-Identifier: LGPL-2.1-or-later
// lumacam: the camera devices as users and tests see them.
//
//   lumacam list
//   lumacam capture [--device NAME] [--count N] [--output DIR|-] [--timeout SECONDS]
//   lumacam send PICTURE [--stretch 0|1] [--keep-ratio 0|1] [--center 0|1] [--device NAME]
//   lumacam run [--seconds N] [--no-v4l2] [--no-pipewire]
//   lumacam format [NAME] [WIDTHxHEIGHT[@FPS]]
// Under pkexec (PKEXEC_UID set) it takes only format [NAME] WIDTHxHEIGHT[@FPS].
#include <fcntl.h>
#include <linux/videodev2.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <QGuiApplication>

#include "camera/camera_link.h"
#include "camera/camera_reader.h"
#include "camera/device_discovery.h"
#include "device/installed_devices.h"
#include "frames/frame_output.h"
#include "frames/picture_file.h"
#include "platform/posix_file.h"
#include "platform/registry.h"
#include "platform/v4l2_device.h"
#include "programs/lumacam/format_command.h"
#include "programs/lumacam/lumacam_daemon.h"

using namespace lumaghost;
namespace fs = std::filesystem;

namespace {

void usage() {
    std::fprintf(stderr,
                 "Usage: lumacam list\n"
                 "       lumacam capture [--device NAME] [--count N] [--output DIR|-] "
                 "[--timeout SECONDS]\n"
                 "       lumacam send PICTURE [--stretch 0|1] [--keep-ratio 0|1] [--center 0|1] "
                 "[--device NAME]\n"
                 "       lumacam run [--seconds N] [--no-v4l2] [--no-pipewire]\n"
                 "       lumacam format [NAME] [WIDTHxHEIGHT[@FPS]]\n");
}

std::string describeSize(BaseFilter &filter) {
    if (filter.kind() == FilterKind::Lumaghost) {
        PropertySet *props = nullptr;
        if (filter.queryPropertySet(&props).failed())
            return "-";
        FormatRecord r;
        uint32_t returned = 0;
        if (props
                ->get(PROPSETID_CameraLink, CAMERA_PROP_FORMAT, &r, sizeof(r), &r, sizeof(r),
                      &returned)
                .failed())
            return "-";
        return std::to_string(r.width) + "x" + std::to_string(r.height);
    }
    std::unique_ptr<V4l2Device> node;
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (openV4l2Device(filter.location(), node) != 0 || node->ioctl(VIDIOC_G_FMT, &fmt) != 0)
        return "-";
    return std::to_string(fmt.fmt.pix.width) + "x" + std::to_string(fmt.fmt.pix.height);
}

// After a failed enumeration: says on one line why the machine hive cannot be read, naming the
// file and the line in error, if that is why. The damaged file is left as it is.
bool reportHiveFailure() {
    std::vector<InstalledDevice> devices;
    std::string error;
    if (readInstalledDevices(machineHive(), devices, &error).succeeded())
        return false;
    std::fprintf(stderr, "lumacam: %s\n", error.c_str());
    return true;
}

int list() {
    std::unique_ptr<DeviceEnumerator> devices;
    std::vector<std::unique_ptr<Moniker>> monikers;
    HResult r = createDeviceEnumerator(devices);
    if (r.succeeded())
        r = devices->createClassEnumerator(CLSID_VideoInputDeviceCategory, monikers);
    if (r.failed()) {
        if (!reportHiveFailure())
            std::fprintf(stderr, "lumacam: Cannot list the video input devices (%s)\n",
                         r.toString().c_str());
        return 1;
    }
    for (auto &m : monikers) {
        std::string name;
        std::unique_ptr<BaseFilter> filter;
        if (m->readFriendlyName(name).failed())
            continue;
        if (HResult b = m->bindToObject(filter); b.failed()) {
            std::fprintf(stderr, "lumacam: Cannot open the camera \"%s\" (%s)\n", name.c_str(),
                         b.toString().c_str());
            continue;
        }
        const char *kind = filter->kind() == FilterKind::Lumaghost ? "lumaghost" : "v4l2";
        std::printf("%s\t%s\t%s\n", name.c_str(), kind, describeSize(*filter).c_str());
    }
    return 0;
}

int capture(int argc, char **argv) {
    std::string device(kCameraName);
    std::string output;
    long count = 1;
    double timeout = 10;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (i + 1 >= argc) {
            usage();
            return 2;
        }
        if (arg == "--device")
            device = argv[++i];
        else if (arg == "--count")
            count = std::strtol(argv[++i], nullptr, 10);
        else if (arg == "--output")
            output = argv[++i];
        else if (arg == "--timeout")
            timeout = std::strtod(argv[++i], nullptr);
        else {
            usage();
            return 2;
        }
    }
    if (output.empty() || count < 1 || !(timeout > 0)) {
        usage();
        return 2;
    }

    timeout = std::min(timeout, 86400.0);

    std::unique_ptr<BaseFilter> filter;
    HResult r = findFilterByName(CLSID_VideoInputDeviceCategory, device, filter);
    if (r.failed() && reportHiveFailure())
        return 1;
    if (r.failed()) {
        std::fprintf(stderr, "lumacam: No camera named \"%s\" (%s)\n", device.c_str(),
                     r.toString().c_str());
        return 1;
    }
    std::unique_ptr<CameraReader> camera;
    r = CameraReader::open(*filter, camera);
    if (r == E_NOINTERFACE) {
        std::fprintf(stderr, "lumacam: Camera \"%s\" at %s is not a Lumaghost device\n",
                     device.c_str(), filter->location().c_str());
        return 1;
    }
    if (r.failed()) {
        std::fprintf(stderr, "lumacam: Cannot open the frame channel %s (%s)\n",
                     filter->location().c_str(), r.toString().c_str());
        return 1;
    }

    const bool toStdout = output == "-";
    if (!toStdout) {
        std::error_code ec;
        fs::create_directories(output, ec);
        if (ec) {
            std::fprintf(stderr, "lumacam: Cannot create %s: %s\n", output.c_str(),
                         ec.message().c_str());
            return 1;
        }
    }
    ChannelFormat format = camera->format();
    if (toStdout) {
        std::string header = y4mHeader(format.width, format.height, format.fps);
        if (writeAll(STDOUT_FILENO, header.data(), header.size()) != 0)
            return 1;
    }

    uint64_t seen = camera->commitSequence();
    std::vector<uint8_t> frame;
    for (long n = 0; n < count; ++n) {
        // The wait goes in short steps so that a channel re-created meanwhile (a reboot, a
        // re-install at the same frame size) is followed; its frames count from its first.
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(timeout));
        bool captured = false;
        for (;;) {
            if (camera->followReplacedChannel())
                seen = 0;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            const uint64_t now =
                camera->waitForCommit(seen, int(std::min<int64_t>(left.count(), 250)));
            if (now != seen && camera->readLatest(frame, &seen)) {
                captured = true;
                break;
            }
        }
        if (!captured) {
            std::fprintf(stderr,
                         "lumacam: No frame from \"%s\" within %g s (%ld of %ld captured)\n",
                         device.c_str(), timeout, n, count);
            return 1;
        }
        std::vector<uint8_t> bytes = toStdout
                                         ? frameToY4m(frame.data(), format.width, format.height)
                                         : frameToPpm(frame.data(), format.width, format.height);
        if (toStdout) {
            if (writeAll(STDOUT_FILENO, bytes.data(), bytes.size()) != 0)
                return 1;
            continue;
        }
        char name[32];
        std::snprintf(name, sizeof(name), "frame-%04ld.ppm", n);
        fs::path file = fs::path(output) / name;
        UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!fd || writeAll(fd.get(), bytes.data(), bytes.size()) != 0) {
            std::fprintf(stderr, "lumacam: Cannot write %s: %s\n", file.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    return 0;
}

bool parseSwitch(const char *text, int &out) {
    if (std::strcmp(text, "0") != 0 && std::strcmp(text, "1") != 0)
        return false;
    out = text[0] - '0';
    return true;
}

// Composes a picture into the camera frame by the fit switches and commits it.
int send(int argc, char **argv) {
    std::string device(kCameraName);
    std::string picture;
    FitFlags flags = kFitFill;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        bool ok = true;
        if (arg.rfind("--", 0) != 0 && picture.empty())
            picture = arg;
        else if (i + 1 >= argc)
            ok = false;
        else if (arg == "--device")
            device = argv[++i];
        else if (arg == "--stretch")
            ok = parseSwitch(argv[++i], flags.stretch);
        else if (arg == "--keep-ratio")
            ok = parseSwitch(argv[++i], flags.keepRatio);
        else if (arg == "--center")
            ok = parseSwitch(argv[++i], flags.center);
        else
            ok = false;
        if (!ok) {
            usage();
            return 2;
        }
    }
    if (picture.empty()) {
        usage();
        return 2;
    }

    // Metafiles may draw text: fonts need a GUI application, which needs no display here.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char name[] = "lumacam";
    char *qtArgv[] = {name, nullptr};
    QGuiApplication app(qtArgc, qtArgv);

    // Load first: a file that is no picture leaves the camera's frame as it is.
    QString error;
    const QImage image = loadPictureFile(QString::fromStdString(picture), &error);
    if (image.isNull()) {
        std::fprintf(stderr, "lumacam: Cannot load %s: %s\n", picture.c_str(),
                     error.toStdString().c_str());
        return 1;
    }
    CameraLink link;
    HResult r = openCameraLink(link, device);
    if (r.failed() && reportHiveFailure())
        return 1;
    if (r.failed()) {
        std::fprintf(stderr, "lumacam: Cannot open the camera \"%s\" (%s)\n", device.c_str(),
                     r.toString().c_str());
        return 1;
    }
    r = pushFrameToCamera(link, [&](const FrameDescriptor &d) {
        composePictureFrame(imageView(image), {d.buffer(), d.width, d.height, d.byteCount}, flags);
        return S_OK;
    });
    if (r.failed()) {
        std::fprintf(stderr, "lumacam: Get Buffer ERROR! Camera \"%s\" (%s)\n", device.c_str(),
                     r.toString().c_str());
        return 1;
    }
    return 0;
}

int run(int argc, char **argv) {
    DaemonOptions options;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc)
            options.seconds = std::strtod(argv[++i], nullptr);
        else if (arg == "--no-v4l2")
            options.v4l2 = false;
        else if (arg == "--no-pipewire")
            options.pipewire = false;
        else {
            usage();
            return 2;
        }
    }
    return runDaemon(options);
}

}  // namespace

int main(int argc, char **argv) {
    // Run by pkexec for a caller who holds the administrator's authorisation: only what
    // Lumadesk asks for, each argument checked.
    if (std::getenv("PKEXEC_UID")) {
        if (const std::string problem = elevatedCommandLineProblem(argc, argv); !problem.empty()) {
            std::fprintf(stderr,
                         "lumacam: under pkexec only format [NAME] WIDTHxHEIGHT[@FPS] is "
                         "accepted: %s\n",
                         problem.c_str());
            return 2;
        }
    }
    if (argc < 2) {
        usage();
        return 2;
    }
    std::string command = argv[1];
    if (command == "list")
        return list();
    if (command == "capture")
        return capture(argc - 2, argv + 2);
    if (command == "send")
        return send(argc - 2, argv + 2);
    if (command == "run")
        return run(argc - 2, argv + 2);
    if (command == "format")
        return runFormatCommand(argc - 2, argv + 2);
    usage();
    return 2;
}
