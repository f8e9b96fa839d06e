// SPDX-License-Identifier: LGPL-2.1-or-later
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "service/service_platform.h"

namespace lumaghost {

namespace {

class Event final : public ManualResetEvent {
public:
    void set() override {
        std::lock_guard lock(mutex_);
        set_ = true;
        changed_.notify_all();
    }
    void reset() override {
        std::lock_guard lock(mutex_);
        set_ = false;
    }
    bool isSet() const override {
        std::lock_guard lock(mutex_);
        return set_;
    }
    bool waitFor(uint32_t milliseconds) {
        std::unique_lock lock(mutex_);
        if (milliseconds == kInfinite) {
            changed_.wait(lock, [&] { return set_; });
            return true;
        }
        return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                 [&] { return set_; });
    }

private:
    mutable std::mutex mutex_;  // guards set_
    std::condition_variable changed_;
    bool set_ = false;
};

class SystemWaiter final : public Waiter {
public:
    std::unique_ptr<ManualResetEvent> createEvent() override { return std::make_unique<Event>(); }
    void sleep(uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    bool wait(ManualResetEvent &event, uint32_t milliseconds) override {
        if (auto *e = dynamic_cast<Event *>(&event))
            return e->waitFor(milliseconds);
        return event.isSet();
    }
};

}  // namespace

Waiter &systemWaiter() {
    static SystemWaiter waiter;
    return waiter;
}

}  // namespace lumaghost
