// SPDX-License-Identifier: LGPL-2.1-or-later
// Lumadesk's side of the play service: the Service command (install, start, stop), the auto-play
// setting the service reads, the Service button's image, and stopping the service before
// Lumadesk feeds the camera itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include <QObject>
#include <QString>
#include <QTimer>

#include "desk/model/part_context.h"
#include "desk/model/parts.h"
#include "platform/registry.h"

namespace lumaghost {

class PlayServiceControl;

/// The settings key of the machine hive that the play service reads.
inline constexpr char kAutoPlayKey[] = "Software\\Quillmoor\\Lumadesk\\Settings";

/// Makes `path` the item the play service plays from its next start: AutoPlay = the path,
/// AutoPlayType = 1 (a picture sequence).
HResult writeAutoPlaySetting(RegistryHive &machine, const std::string &path);

/// Whether the Service command takes `path` for a sequence: the text from its last "." on is
/// ".lgs" exactly, in lower case.
bool isSequencePath(const QString &path);

/// Tells that `item` could not be made the auto-play item in `machine`'s file for `error`
/// (writeAutoPlaySetting's result).
void reportAutoPlayFailure(DeskContext &context, QWidget *owner, const QString &item,
                           const RegistryHive &machine, HResult error);

/// Asks the service's state and stops it when it runs; returns at once (the service may still
/// be stopping when the caller goes on). Used before Lumadesk's own sequence, movie, directory
/// or real-camera playback. Nothing without a controller.
void stopPlayServiceIfRunning(PlayServiceControl *control);

/// The Service command's outcomes.
enum class ServiceCommandOutcome : int {
    Stopped = 0,        // it ran: the stop was asked for
    Started = 1,        // it was installed: the start was asked for
    Installed = 2,      // it was missing: installed (or found there) and started
    InstallFailed = 3,  // it was missing and could not be installed
};

/// Why an installation failed: the controller's error and the manager's words for it.
struct InstallFailure {
    uint32_t error = 0;
    std::string detail;
};

class PlayServiceCommand final : public QObject, public ServicePart {
    Q_OBJECT
public:
    /// How often the Service button's state is asked while sequence mode shows it.
    static constexpr std::chrono::milliseconds kStateRefresh{2000};

    /// The Service command; its button's state is asked while `sequenceStrip` (shown in
    /// sequence mode, with the button) is.
    PlayServiceCommand(const PartContext &part, const QWidget &sequenceStrip);
    ~PlayServiceCommand() override;

    /// The Service command (32791): the current item as the auto-play item when it is a
    /// sequence, then stop a running service, start an installed one or install and start a
    /// missing one; "Can't install the Lumaghost Service!" when it cannot be installed, with
    /// the reason under it.
    void serviceCommand() override;
    int serviceImageState() const override;

    /// Asks for the service's state now; the button follows when the answer comes.
    void refreshState() const;
    /// The last state the manager gave (-1: missing or not known).
    int lastState() const { return state_; }

    /// The line under "Can't install the Lumaghost Service!": no authentication agent, the
    /// authorisation cancelled or refused, or the service manager's error.
    QString installFailureText(const InstallFailure &failure) const;

signals:
    /// Something the commands' rules read has changed.
    void stateChanged();
    /// A Service command has finished, with its outcome.
    void serviceCommandFinished(ServiceCommandOutcome outcome);

private:
    void stateKnown(int state);

    PartContext part_;
    DeskContext &context_;
    const QWidget &sequenceStrip_;
    QTimer refresh_;
    int state_ = -1;
    mutable bool asking_ = false;
    mutable std::chrono::steady_clock::time_point askedAt_{};
};

}  // namespace lumaghost
