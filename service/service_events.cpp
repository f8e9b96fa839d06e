// SPDX-License-Identifier: LGPL-2.1-or-later
// The event log: the service's event source and its entries.
#include "service/service_shell.h"

namespace lumaghost {

void ServiceShell::AddEventSource(const std::string &messageFile, uint32_t typesSupported) {
    const std::string key = kEventLogApplicationKey + serviceName_;
    (void)platform_.machine.modify([&](HiveData &d) {
        d.setValue(key, "EventMessageFile", RegValue::expandString(messageFile));
        d.setValue(key, "TypesSupported", RegValue::fromDword(typesSupported));
        return S_OK;
    });
    // The service joins the "Sources" list once; a list that does not exist is left alone.
    (void)platform_.machine.modify([&](HiveData &d) {
        const std::string application = normaliseKeyPath(kEventLogApplicationKey);
        const RegValue *sources = d.value(application, "Sources");
        if (!sources || sources->type != RegType::MultiString)
            return E_FAIL;
        for (const auto &s : sources->strings) {
            if (s == serviceName_)
                return E_FAIL;
        }
        RegValue grown = *sources;
        grown.strings.push_back(serviceName_);
        d.setValue(application, "Sources", grown);
        return S_OK;
    });
}

void ServiceShell::RemoveEventSource() {
    (void)platform_.machine.modify([&](HiveData &d) {
        d.deleteKey(kEventLogApplicationKey + serviceName_);
        const std::string application = normaliseKeyPath(kEventLogApplicationKey);
        if (const RegValue *sources = d.value(application, "Sources");
            sources && sources->type == RegType::MultiString) {
            RegValue kept = *sources;
            kept.strings.clear();
            for (const auto &s : sources->strings) {
                if (s != serviceName_)
                    kept.strings.push_back(s);
            }
            if (kept.strings.size() != sources->strings.size())
                d.setValue(application, "Sources", kept);
        }
        return S_OK;
    });
}

void ServiceShell::LogEvent(const std::string &text, EventType type, int64_t id) {
    uint32_t eventId = static_cast<uint32_t>(id);
    if (id == -1) {
        eventId = type == EventType::Error     ? 0xC0000002u
                  : type == EventType::Warning ? 0x80000001u
                                               : 0x40000000u;
    }
    (void)platform_.eventLog.report(serviceName_, type, eventId, text);
}

}  // namespace lumaghost
