// Preparing a v4l2loopback node for a camera, where v4l2loopback is installed: through its
// control device (0.13 and later) a node labelled with the camera's name and with exclusive
// caps is added; otherwise (0.12, as in Debian 12) the module's options are written and the
// module is loaded. No shell is involved at any point.
#pragma once

#include <string>
#include <vector>

#include "hresult.h"

namespace lumaghost {

class LoopbackSystem {
public:
    virtual ~LoopbackSystem() = default;
    virtual std::vector<std::string> outputCardLabels() = 0;
    virtual bool controlDeviceExists() = 0;
    /// Adds a node through the control device; its number, or a negative errno.
    virtual int addDevice(const std::string &label, bool exclusiveCaps) = 0;
    virtual bool moduleInstalled() = 0;
    virtual bool writeModuleOptions(const std::string &text) = 0;
    /// modprobe's exit status.
    virtual int loadModule() = 0;
};

/// The running system: /dev, /lib/modules, the modprobe configuration under $LUMAGHOST_ROOT.
LoopbackSystem &systemLoopback();

/// S_OK when a node with the label exists or was made, S_FALSE when v4l2loopback is not
/// installed, a failure code when making one failed.
HResult PrepareLoopback(LoopbackSystem &system, const std::string &label);

/// The module options file's text for a camera name.
std::string loopbackModuleOptions(const std::string &label);

}  // namespace lumaghost
