// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/app/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <QSocketNotifier>

namespace lumaghost {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// The pipe the handler writes to: [0] read end, [1] write end.
int signalPipe[2] = {-1, -1};

}  // namespace

void TerminationSignals::onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
    errno = saved;
}

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent) {
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::drain);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &previous_[i]);
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_)
        return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    notifier_.reset();
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void TerminationSignals::drain() {
    char bytes[64];
    while (::read(signalPipe[0], bytes, sizeof(bytes)) > 0) {
    }
    emit received();
}

}  // namespace lumaghost
