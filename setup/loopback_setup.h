// SPDX-License-Identifier: LGPL-2.1-or-later
// Preparing a v4l2loopback node for a camera, where v4l2loopback is installed: through its
// control device (0.13 and later) a node labelled with the camera's name and with exclusive
// caps is added; otherwise (0.12, as in Debian 12) the module's options are written and the
// module is loaded. Removing the camera undoes what was prepared for it. No shell is involved
// at any point.
#pragma once

#include <string>
#include <vector>

#include "platform/hresult.h"

namespace lumaghost {

class LoopbackSystem {
public:
    virtual ~LoopbackSystem() = default;
    virtual std::vector<std::string> outputCardLabels() = 0;
    /// The card label of video node N; empty when there is no such node.
    virtual std::string cardLabel(int number) = 0;
    virtual bool controlDeviceExists() = 0;
    /// Adds a node through the control device; its number, or a negative errno.
    virtual int addDevice(const std::string &label, bool exclusiveCaps) = 0;
    /// Removes a node the control device added; 0 or a negative errno.
    virtual int removeDevice(int number) = 0;
    virtual bool moduleInstalled() = 0;
    /// The module options file's text; empty when there is none.
    virtual std::string moduleOptions() = 0;
    /// Writes the module options file; empty text removes it.
    virtual bool writeModuleOptions(const std::string &text) = 0;
    /// modprobe's exit status.
    virtual int loadModule() = 0;
};

/// The longest card label a node carries; longer names are cut to it.
inline constexpr size_t kLoopbackCardLabelLength = 31;

/// The running system: /dev, /lib/modules and the modprobe configuration, all under
/// $LUMAGHOST_ROOT when it is set; a module is then never loaded, since the running kernel is
/// not the root's.
LoopbackSystem &systemLoopback();

/// S_OK when a node with the label exists or was made, S_FALSE when v4l2loopback is not
/// installed, a failure code when making one failed. `addedNode` receives the number of the
/// node the control device added, or -1.
HResult prepareLoopback(LoopbackSystem &system, const std::string &label, int *addedNode = nullptr);

/// Undoes prepareLoopback for a camera that goes away: removes the node it added when that
/// node still carries the label, and the label's entry in the module options.
HResult removeLoopback(LoopbackSystem &system, const std::string &label, int addedNode);

/// The module options file's text for a camera name.
std::string loopbackModuleOptions(const std::string &label);

}  // namespace lumaghost
