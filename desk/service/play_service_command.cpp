// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/service/play_service_command.h"

#include <QFile>
#include <QPointer>
#include <QWidget>

#include <memory>

#include "desk/model/desk_context.h"
#include "desk/model/desk_settings.h"
#include "desk/model/file_errors.h"
#include "desk/model/message_ids.h"
#include "desk/model/part_set.h"
#include "desk/service/play_service_control.h"
#include "lang/pack_ids.h"
#include "service/play_service.h"

namespace lumaghost {

HResult writeAutoPlaySetting(RegistryHive &machine, const std::string &path) {
    // A path the service would not take (it reads the value into a buffer of fixed size) is
    // refused here, where it can be told, rather than ignored there.
    if (path.empty() || path.size() + 1 > kAutoPlayBuffer)
        return E_INVALIDARG;
    return machine.modify([&](HiveData &data) {
        data.createKey(kAutoPlayKey);
        data.setValue(kAutoPlayKey, "AutoPlay", RegValue::string(path));
        data.setValue(kAutoPlayKey, "AutoPlayType", RegValue::fromDword(1));
        return S_OK;
    });
}

bool isSequencePath(const QString &path) {
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot >= 0 && path.mid(dot) == QStringLiteral(".lgs");
}

void reportAutoPlayFailure(DeskContext &context, QWidget *owner, const QString &item,
                           const RegistryHive &machine, HResult error) {
    using namespace pack_ids;
    context.ask(owner, context.message(kAutoPlayCaption),
                context.message(kCannotSetAutoPlay,
                                {item, QString::fromStdString(machine.file().string()),
                                 error == E_INVALIDARG ? context.message(kPathTooLongForService)
                                                       : fileErrorText(context.packs, error)}),
                MessageButtons::Ok, MessageIcon::Warning);
}

void stopPlayServiceIfRunning(PlayServiceControl *control) {
    if (!control)
        return;
    control->post([](ServiceController &controller) {
        if (controller.QueryPlayServiceState() == int(SERVICE_RUNNING))
            controller.StopPlayService();
        return 0;
    });
}

PlayServiceCommand::PlayServiceCommand(const PartContext &part, const QWidget &sequenceStrip)
    : part_(part), context_(part.desk), sequenceStrip_(sequenceStrip) {
    refresh_.setInterval(kStateRefresh);
    connect(&refresh_, &QTimer::timeout, this, [this] {
        if (!sequenceStrip_.isHidden())
            refreshState();
    });
    refresh_.start();
}

PlayServiceCommand::~PlayServiceCommand() = default;

/// \brief The Service command: one press stops a running service, the next starts it; a missing
/// service is installed with the start type of "Auto play the picture sequence" and started.
void PlayServiceCommand::serviceCommand() {
    const QString item = part_.parts.currentItemPath();
    if (isSequencePath(item)) {
        RegistryHive machine = machineHive();
        const HResult written =
            writeAutoPlaySetting(machine, QFile::encodeName(item).toStdString());
        // Said, not kept quiet: the service would otherwise go on playing what it played.
        if (written.failed())
            reportAutoPlayFailure(context_, part_.window, item, machine, written);
    }
    PlayServiceControl *control = part_.service;
    if (!control) {
        context_.ask(part_.window, appTitle(), context_.message(msg::kCannotInstallService),
                     MessageButtons::Ok, MessageIcon::Warning);
        return;
    }
    const bool autoStart = part_.settings.serviceAutoStart;
    QPointer<PlayServiceCommand> self(this);
    // Filled on the worker when the installation fails, read here once its result has come.
    auto failure = std::make_shared<InstallFailure>();
    ServiceManager *manager = context_.environment.serviceManager;
    control->post(
        [autoStart, failure, manager](ServiceController &controller) {
            const int state = controller.QueryPlayServiceState();
            if (state == int(SERVICE_RUNNING)) {
                controller.StopPlayService();
                return int(ServiceCommandOutcome::Stopped);
            }
            if (state >= int(SERVICE_STOPPED) && state <= int(SERVICE_PAUSED)) {
                controller.StartPlayService();
                return int(ServiceCommandOutcome::Started);
            }
            controller.setAutoStart(autoStart);
            if (controller.CreatePlayService() == 1 ||
                controller.lastError() == ERROR_SERVICE_EXISTS) {
                controller.StartPlayService();
                return int(ServiceCommandOutcome::Installed);
            }
            failure->error = controller.lastError();
            if (manager)
                failure->detail = manager->errorDetail(hresultFromWin32(failure->error));
            return int(ServiceCommandOutcome::InstallFailed);
        },
        [self, failure](int result) {
            if (!self)
                return;
            const auto outcome = ServiceCommandOutcome(result);
            if (outcome == ServiceCommandOutcome::InstallFailed)
                self->context_.ask(self->part_.window, appTitle(),
                                   withDetail(self->context_.message(msg::kCannotInstallService),
                                              self->installFailureText(*failure)),
                                   MessageButtons::Ok, MessageIcon::Warning);
            if (outcome == ServiceCommandOutcome::Stopped)
                self->part_.parts.reportOnCamera({OnCamera::Kind::Nothing});
            else if (outcome != ServiceCommandOutcome::InstallFailed)
                self->part_.parts.reportOnCamera({OnCamera::Kind::PlayService});
            self->refreshState();
            emit self->serviceCommandFinished(outcome);
        });
}

QString PlayServiceCommand::installFailureText(const InstallFailure &failure) const {
    using namespace pack_ids;
    switch (failure.error) {
        case ERROR_NO_AUTHENTICATION_AGENT:
            return context_.message(
                kNoAuthenticationAgentDetail,
                {context_.paths.applicationFolder() + QStringLiteral("/lumaserv")});
        case ERROR_CANCELLED:
            return context_.message(kAuthenticationCancelledDetail);
        case ERROR_ACCESS_DENIED:
            return context_.message(kAuthenticationRefusedDetail);
        default:
            break;
    }
    // The manager's (or the elevated lumaserv's) own words, else the result code.
    QString words = QString::fromStdString(failure.detail);
    if (words.isEmpty())
        words = formatMessage(context_.message(kErrorCodeWords),
                              {QString::fromStdString(hresultFromWin32(failure.error).toString())});
    return context_.message(kServiceManagerDetail, {words});
}

void PlayServiceCommand::refreshState() const {
    PlayServiceControl *control = part_.service;
    if (!control || asking_)
        return;
    asking_ = true;
    askedAt_ = std::chrono::steady_clock::now();
    QPointer<PlayServiceCommand> self(const_cast<PlayServiceCommand *>(this));
    control->post([](ServiceController &controller) { return controller.QueryPlayServiceState(); },
                  [self](int state) {
                      if (self)
                          self->stateKnown(state);
                  });
}

void PlayServiceCommand::stateKnown(int state) {
    asking_ = false;
    if (state == state_)
        return;
    state_ = state;
    emit stateChanged();
}

int PlayServiceCommand::serviceImageState() const {
    // Asked at every update pass: the answer of the last query, a new one on its way when that
    // is older than the refresh period.
    if (!asking_ && std::chrono::steady_clock::now() - askedAt_ > kStateRefresh / 2)
        refreshState();
    if (state_ == int(SERVICE_RUNNING))
        return 0;
    if (state_ >= int(SERVICE_STOPPED) && state_ <= int(SERVICE_PAUSED))
        return 1;
    return 2;
}

}  // namespace lumaghost
