// SPDX-License-Identifier: LGPL-2.1-or-later
#include "programs/lumacam/format_command.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "camera/camera_link.h"
#include "device/format_choice.h"
#include "device/installed_devices.h"
#include "platform/registry.h"
#include "service/linux_service_platform.h"
#include "service/play_service.h"

namespace lumaghost {

namespace {

constexpr size_t kMaxNameLength = 255;

struct FormatArguments {
    std::string name = kCameraName;
    std::string format;  // empty: print
};

// [NAME] [FORMAT]: a single word that reads as a format is one.
bool readArguments(int argc, char **argv, FormatArguments &out) {
    ChannelFormat unused;
    std::string error;
    if (argc == 1 && FormatChoice::parse(argv[0], unused, error))
        out.format = argv[0];
    else if (argc == 1)
        out.name = argv[0];
    else if (argc == 2) {
        out.name = argv[0];
        out.format = argv[1];
    } else if (argc != 0) {
        return false;
    }
    return true;
}

// The play service plays at the camera's size from its start: it is restarted when it runs,
// and its journal says why.
void restartPlayService(const std::string &camera, const ChannelFormat &format) {
    SystemdServiceManager &manager = systemServiceManager();
    const HResult r = manager.restartIfRunning(kServiceName);
    if (r != S_OK)
        return;  // not running, or no service manager to run it
    const std::string why = "Restarted: the camera \"" + camera + "\" now delivers " +
                            FormatChoice::describe(format) + " (lumacam format)";
    JournalEventLog journal;
    (void)journal.report(kServiceName, EventType::Information, 0, why);
    std::printf("lumacam: %s restarted for the new format\n", kServiceName);
}

}  // namespace

std::string elevatedCommandLineProblem(int argc, char **argv) {
    FormatArguments args;
    if (argc < 2 || std::string(argv[1]) != "format")
        return "only \"format [NAME] WIDTHxHEIGHT[@FPS]\" may be run so";
    if (!readArguments(argc - 2, argv + 2, args) || args.format.empty())
        return "format takes [NAME] WIDTHxHEIGHT[@FPS] here";
    if (args.name.size() > kMaxNameLength)
        return "the camera's name is longer than " + std::to_string(kMaxNameLength) + " characters";
    for (unsigned char c : args.name)
        if (c < 0x20 || c == 0x7F)
            return "the camera's name holds a control character";
    ChannelFormat f;
    std::string error;
    if (!FormatChoice::parse(args.format, f, error))
        return error;
    return {};
}

int runFormatCommand(int argc, char **argv) {
    FormatArguments args;
    if (!readArguments(argc, argv, args)) {
        std::fprintf(stderr, "Usage: lumacam format [NAME] [WIDTHxHEIGHT[@FPS]]\n");
        return 2;
    }
    RegistryHive hive = machineHive();
    std::vector<InstalledDevice> devices;
    std::string error;
    if (readInstalledDevices(hive, devices, &error).failed()) {
        std::fprintf(stderr, "lumacam: %s\n", error.c_str());
        return 1;
    }
    const InstalledDevice *device = nullptr;
    for (const InstalledDevice &d : devices)
        if (d.nameResult.succeeded() && d.name == args.name && !device)
            device = &d;
    if (!device) {
        std::fprintf(stderr, "lumacam: No installed camera named \"%s\"\n", args.name.c_str());
        return 1;
    }
    if (args.format.empty()) {
        std::printf("%s\n", FormatChoice::describe(device->format).c_str());
        return 0;
    }

    ChannelFormat format = device->format;
    if (!FormatChoice::parse(args.format, format, error)) {
        std::fprintf(stderr, "lumacam: %s\n", error.c_str());
        return 2;
    }
    if (::geteuid() != 0) {
        std::fprintf(stderr,
                     "lumacam: Changing the format of \"%s\" needs the rights of installing it: "
                     "run it as root (sudo) or through pkexec\n",
                     args.name.c_str());
        return 1;
    }
    if (format == device->format) {
        std::printf("%s\n", FormatChoice::describe(format).c_str());
        return 0;
    }
    if (FormatChoice::apply(hive, device->instance, format, error).failed()) {
        std::fprintf(stderr, "lumacam: \"%s\" keeps %s: %s\n", args.name.c_str(),
                     FormatChoice::describe(device->format).c_str(), error.c_str());
        return 1;
    }
    std::printf("%s\n", FormatChoice::describe(format).c_str());
    restartPlayService(args.name, format);
    return 0;
}

}  // namespace lumaghost
