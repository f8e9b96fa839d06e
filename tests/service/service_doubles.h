// SPDX-License-Identifier: LGPL-2.1-or-later
// Test doubles of the service's platform: a scripted service manager, a recording event log and
// console, and a waiter on virtual time.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "service/service_platform.h"

namespace lumaghost::test {

class FakeManager : public ServiceManager {
public:
    HResult connectResult = S_OK, createResult = S_OK, openResult = S_OK;
    HResult deleteResult = S_OK, stopResult = S_OK, startResult = S_OK;
    HResult dispatcherResult = S_OK, statusResult = S_OK, startTypeResult = S_OK;
    std::vector<uint32_t> startTypes;  // given to changeStartType
    std::deque<uint32_t> states;       // answers to queryStatus, in order; then SERVICE_STOPPED
    std::vector<std::string> calls;
    std::vector<ServiceStatus> reported;
    ServiceInstallation created;
    std::function<void(uint32_t)> handler;

    HResult connect() override { return log("connect", connectResult); }
    HResult createService(const ServiceInstallation &s) override {
        created = s;
        return log("create", createResult);
    }
    HResult openService(const std::string &) override { return log("open", openResult); }
    HResult deleteService(const std::string &) override { return log("delete", deleteResult); }
    HResult controlStop(const std::string &, ServiceStatus &s) override {
        s.currentState = SERVICE_STOP_PENDING;
        return log("stop", stopResult);
    }
    HResult queryStatus(const std::string &, ServiceStatus &s) override {
        s.currentState = states.empty() ? SERVICE_STOPPED : states.front();
        if (!states.empty())
            states.pop_front();
        return S_OK;
    }
    HResult startService(const std::string &) override { return log("start", startResult); }
    HResult changeStartType(const std::string &, uint32_t startType) override {
        startTypes.push_back(startType);
        return log("startType", startTypeResult);
    }
    HResult runDispatcher(const std::string &, const std::function<void()> &main) override {
        if (dispatcherResult.failed())
            return dispatcherResult;
        main();
        return S_OK;
    }
    HResult registerControlHandler(const std::string &, std::function<void(uint32_t)> h) override {
        handler = std::move(h);
        return S_OK;
    }
    HResult setStatus(const ServiceStatus &s) override {
        reported.push_back(s);
        return statusResult;
    }
    std::string detail;  // what errorDetail says of connectResult
    std::string errorDetail(HResult error) const override {
        return error == connectResult ? detail : std::string();
    }

private:
    HResult log(const char *what, HResult result) {
        calls.push_back(what);
        return result;
    }
};

class FakeEventLog : public EventLog {
public:
    struct Entry {
        std::string source;
        EventType type;
        uint32_t id;
        std::string text;
    };
    std::vector<Entry> entries;
    bool report(const std::string &source, EventType type, uint32_t id,
                const std::string &text) override {
        entries.push_back({source, type, id, text});
        return true;
    }
};

class FakeConsole : public Console {
public:
    std::string text;
    std::function<void()> onBreak;
    bool detached = false;
    void print(const std::string &t) override { text += t; }
    void installBreakHandler(std::function<void()> f) override { onBreak = std::move(f); }
    void detach(std::function<void()> f) override {
        detached = true;
        onBreak = std::move(f);
    }
};

/// Virtual time: sleeping and waiting move the clock, running what was scheduled on the way.
class VirtualWaiter : public Waiter {
public:
    uint64_t now = 0;
    uint64_t limit = 600'000;  // past this, waits report the event set so runaway loops end
    std::multimap<uint64_t, std::function<void()>> scheduled;
    std::function<void()> onTick;  // called at every sleep and wait
    std::vector<uint32_t> sleeps;
    std::vector<uint32_t> waits;  // what each wait on an event offered

    void at(uint64_t time, std::function<void()> action) {
        scheduled.emplace(time, std::move(action));
    }

    class Event : public ManualResetEvent {
    public:
        void set() override { set_ = true; }
        void reset() override { set_ = false; }
        bool isSet() const override { return set_; }

    private:
        bool set_ = false;
    };

    std::unique_ptr<ManualResetEvent> createEvent() override { return std::make_unique<Event>(); }

    void sleep(uint32_t ms) override {
        tick();
        sleeps.push_back(ms);
        advanceTo(now + ms, nullptr);
    }

    bool wait(ManualResetEvent &event, uint32_t ms) override {
        tick();
        waits.push_back(ms);
        const uint64_t deadline = ms == kInfinite ? limit : now + ms;
        return advanceTo(deadline, &event) || (ms == kInfinite);
    }

private:
    void tick() {
        if (onTick)
            onTick();
    }
    // Moves the clock to `deadline`, stopping early when `event` gets set.
    bool advanceTo(uint64_t deadline, ManualResetEvent *event) {
        for (;;) {
            if (event && event->isSet())
                return true;
            if (now >= limit)
                return event != nullptr;
            auto next = scheduled.begin();
            if (next == scheduled.end() || next->first > deadline) {
                now = std::min(deadline, limit);
                return event && event->isSet();
            }
            now = std::max(now, next->first);
            auto action = std::move(next->second);
            scheduled.erase(next);
            action();
        }
    }
};

}  // namespace lumaghost::test
