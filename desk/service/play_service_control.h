// SPDX-License-Identifier: LGPL-2.1-or-later
// The view's control of the play service: a ServiceController (service "LumaghostService",
// display name "Quillmoor Lumaghost Play Service", program lumaserv beside lumadesk) whose calls
// run one after another on a worker thread of their own, since each may wait on the service
// manager and its authorisation.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include <QObject>
#include <QString>

#include "service/service_controller.h"

namespace lumaghost {

inline constexpr char kPlayServiceName[] = "LumaghostService";
inline constexpr char kPlayServiceDisplayName[] = "Quillmoor Lumaghost Play Service";

/// Why an installation that asked for an administrator's authorisation failed, beside
/// ERROR_ACCESS_DENIED (refused): the user cancelled the request, or no authentication agent
/// runs in the session to ask (a value of Lumaghost's own, outside the system's numbers).
inline constexpr uint32_t ERROR_CANCELLED = 1223;
inline constexpr uint32_t ERROR_NO_AUTHENTICATION_AGENT = 0xA0000002;

class PlayServiceControl : public QObject {
    Q_OBJECT
public:
    /// The controller on `manager`, with lumaserv in `programFolder` as the service's program.
    PlayServiceControl(ServiceManager &manager, const QString &programFolder,
                       QObject *parent = nullptr);
    /// Work not yet begun is dropped; work under way is waited for.
    ~PlayServiceControl() override;

    /// Runs `work` on the worker thread; then `done`, if given, on this object's thread with
    /// work's result.
    void post(std::function<int(ServiceController &)> work,
              std::function<void(int)> done = nullptr);

    /// The start type from "Auto play the picture sequence"; the result is not reported.
    void applyStartType(bool autoStart);

    /// Waits until the work posted so far is done (for tests and exit).
    void waitForIdle();

private:
    void run();

    ServiceController controller_;  // used on the worker thread only
    std::mutex mutex_;              // guards queue_, busy_ and stopping_
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace lumaghost
