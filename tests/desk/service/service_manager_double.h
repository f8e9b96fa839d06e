// SPDX-License-Identifier: LGPL-2.1-or-later
// A service manager that records the calls it is given and answers as it is told.
#pragma once

#include <QImage>
#include "desk/app/desk_service_manager.h"
#include "desk/media/directory_player.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/service/play_service_command.h"
#include "desk/service/play_service_control.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "tests/desk/desk_fixture.h"

namespace lumaghost::test {

namespace fs = std::filesystem;
using namespace cmd;
using Running = CLumadeskApp::StartResult;

/// A service manager with one service that may be installed and running; called from the
/// service control's worker thread.
class ServiceManagerDouble : public ServiceManager {
public:
    HResult connect() override { return S_OK; }
    HResult createService(const ServiceInstallation &service) override {
        std::lock_guard lock(mutex);
        calls.push_back("create");
        if (createResult.failed())
            return createResult;
        if (installed)
            return hresultFromWin32(ERROR_SERVICE_EXISTS);
        installed = true;
        created = service;
        return S_OK;
    }
    HResult openService(const std::string &) override {
        std::lock_guard lock(mutex);
        return installed ? S_OK : hresultFromWin32(ERROR_SERVICE_DOES_NOT_EXIST);
    }
    HResult deleteService(const std::string &) override { return S_OK; }
    HResult controlStop(const std::string &, ServiceStatus &status) override {
        std::lock_guard lock(mutex);
        calls.push_back("stop");
        if (!running)
            return hresultFromWin32(ERROR_SERVICE_NOT_ACTIVE);
        running = false;
        status.currentState = SERVICE_STOP_PENDING;
        return S_OK;
    }
    HResult queryStatus(const std::string &, ServiceStatus &status) override {
        std::lock_guard lock(mutex);
        if (queryFails || !installed)
            return hresultFromWin32(queryFails ? ERROR_ACCESS_DENIED
                                               : ERROR_SERVICE_DOES_NOT_EXIST);
        status.currentState = running ? SERVICE_RUNNING : SERVICE_STOPPED;
        return S_OK;
    }
    HResult startService(const std::string &) override {
        std::lock_guard lock(mutex);
        calls.push_back("start");
        running = installed;
        return S_OK;
    }
    HResult changeStartType(const std::string &, uint32_t) override { return S_OK; }
    HResult runDispatcher(const std::string &, const std::function<void()> &) override {
        return S_OK;
    }
    HResult registerControlHandler(const std::string &, std::function<void(uint32_t)>) override {
        return S_OK;
    }
    HResult setStatus(const ServiceStatus &) override { return S_OK; }
    std::string errorDetail(HResult error) const override {
        std::lock_guard lock(mutex);
        return error == createResult ? createDetail : std::string();
    }

    /// Changes the service's state; the worker thread may be asking it at the same time.
    void set(const std::function<void(ServiceManagerDouble &)> &change) {
        std::lock_guard lock(mutex);
        change(*this);
    }

    ServiceInstallation createdService() {
        std::lock_guard lock(mutex);
        return created;
    }
    bool isRunning() {
        std::lock_guard lock(mutex);
        return running;
    }

    std::vector<std::string> takeCalls() {
        std::lock_guard lock(mutex);
        return std::exchange(calls, {});
    }

    mutable std::mutex mutex;  // guards everything below
    bool installed = false, running = false, queryFails = false;
    HResult createResult = S_OK;
    std::string createDetail;  // errorDetail's words for createResult
    ServiceInstallation created;
    std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

}  // namespace lumaghost::test
