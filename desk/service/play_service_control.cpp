// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/service/play_service_control.h"

#include <QPointer>

namespace lumaghost {

PlayServiceControl::PlayServiceControl(ServiceManager &manager, const QString &programFolder,
                                       QObject *parent)
    : QObject(parent), controller_(manager) {
    controller_.setServiceName(kPlayServiceName);
    controller_.setDisplayName(kPlayServiceDisplayName);
    controller_.setProgramPath((programFolder + QStringLiteral("/lumaserv")).toStdString());
    worker_ = std::thread([this] { run(); });
}

PlayServiceControl::~PlayServiceControl() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    worker_.join();
}

void PlayServiceControl::post(std::function<int(ServiceController &)> work,
                              std::function<void(int)> done) {
    QPointer<PlayServiceControl> self(this);
    {
        std::lock_guard lock(mutex_);
        queue_.push_back([this, self, work = std::move(work), done = std::move(done)] {
            const int result = work(controller_);
            if (done) {
                // Delivered on the owner's thread, and dropped when the owner has gone.
                QMetaObject::invokeMethod(
                    this,
                    [self, done, result] {
                        if (self)
                            done(result);
                    },
                    Qt::QueuedConnection);
            }
        });
    }
    wake_.notify_one();
}

void PlayServiceControl::applyStartType(bool autoStart) {
    post([autoStart](ServiceController &controller) {
        controller.setAutoStart(autoStart);
        return int(controller.ApplyStartType());
    });
}

void PlayServiceControl::waitForIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void PlayServiceControl::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            break;
        std::function<void()> task = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        task();
        lock.lock();
        busy_ = false;
        if (queue_.empty())
            idle_.notify_all();
    }
    busy_ = false;
    idle_.notify_all();
}

}  // namespace lumaghost
