// SPDX-License-Identifier: LGPL-2.1-or-later
// lumacam run: the driver stand-in's daemon. For every installed Lumaghost device it repeats the
// newest committed frame at the device's rate to its outputs: a v4l2loopback node labelled with
// the device's FriendlyName, and a PipeWire camera node where a PipeWire daemon runs. Until the
// first commit it shows the stored image named by LastLgImage, or black. A loopback node that is
// missing, or fails, is looked for again every two seconds.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "programs/lumacam/v4l2_output.h"

namespace lumaghost {

struct DaemonOptions {
    double seconds = 0;  // how long to run; 0 until SIGINT or SIGTERM
    bool v4l2 = true;
    bool pipewire = true;
    std::string devDirectory = "/dev";
    /// Opens the loopback output of the device named `label` in place of the node under
    /// devDirectory whose card label it is (a stand-in for benchmarks); null for none.
    std::function<std::unique_ptr<V4l2Device>(const std::string &label)> openLoopback;
};

int runDaemon(const DaemonOptions &options);

}  // namespace lumaghost
