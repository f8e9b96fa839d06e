// lumacam run: the driver stand-in's daemon. For every installed Lumaghost device it repeats the
// newest committed frame at the device's rate to its outputs: a v4l2loopback node labelled with
// the device's FriendlyName, and a PipeWire camera node where a PipeWire daemon runs. Until the
// first commit it shows the stored image named by LastLgImage, or black. With v4l2loopback as its
// only output it ends at once where the module is not loaded ($LUMAGHOST_ROOT/sys/module).
#pragma once

#include <string>

namespace lumaghost {

struct DaemonOptions {
    double seconds = 0;  // how long to run; 0 until SIGINT or SIGTERM
    bool v4l2 = true;
    bool pipewire = true;
    std::string devDirectory = "/dev";
};

int runDaemon(const DaemonOptions &options);

}  // namespace lumaghost
