// SPDX-License-Identifier: LGPL-2.1-or-later
// SIGTERM, SIGINT and SIGHUP (the session's end, Ctrl+C, the terminal's hang-up) brought to the
// event loop: a handler that only writes a byte to a pipe, read on the user-interface thread.
#pragma once

#include <csignal>
#include <memory>

#include <QObject>

class QSocketNotifier;

namespace lumaghost {

class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    /// Installs the handlers; one object at a time. The handlers before it come back when it
    /// goes.
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    /// The handlers are in place.
    bool installed() const { return notifier_ != nullptr; }

signals:
    /// One of the signals arrived (several in a row are told once).
    void received();

private:
    static void onSignal(int);
    void drain();

    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previous_[3] = {};
};

}  // namespace lumaghost
