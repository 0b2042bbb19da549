#include "core/system/signalwatch.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};
std::atomic<int> signalsSeen{0};
int hardLimit = 0;
struct sigaction previous[NSIG] = {};

void onSignal(int signalNumber)
{
    const int saved = errno;
    const int seen = ++signalsSeen;
    if (hardLimit > 0 && seen >= hardLimit) {
        // Gone past every chance to finish: the default action, at once.
        ::signal(signalNumber, SIG_DFL);
        ::raise(signalNumber);
    }
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalWatch::SignalWatch(std::initializer_list<int> signalNumbers, int hardAfter, QObject *parent)
    : QObject(parent)
{
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    signalsSeen = 0;
    hardLimit = hardAfter > 0 ? hardAfter + 1 : 0;
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SignalWatch::readPipe);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : signalNumbers) {
        if (signalNumber <= 0 || signalNumber >= NSIG)
            continue;
        ::sigaction(signalNumber, &action, &previous[signalNumber]);
        watched.append(signalNumber);
    }
}

SignalWatch::~SignalWatch()
{
    if (!notifier)
        return;
    for (const int signalNumber : qAsConst(watched))
        ::sigaction(signalNumber, &previous[signalNumber], nullptr);
    delete notifier;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void SignalWatch::readPipe()
{
    unsigned char bytes[64];
    ssize_t n;
    while ((n = ::read(signalPipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i)
            emit caught(bytes[i], ++count);
    }
}
