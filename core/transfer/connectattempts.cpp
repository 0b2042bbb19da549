#include "core/transfer/connectattempts.h"

#include "core/system/filedescriptors.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <cerrno>

namespace {

// Set on a socket while an attempt connects it: whoever else watches it knows.
const char attemptingProperty[] = "kelmConnectAttempt";

} // namespace

ConnectAttempts::ConnectAttempts(QObject *parent) : QObject(parent), sweeper(new QTimer(this))
{
    sweeper->setTimerType(Qt::CoarseTimer);
    connect(sweeper, &QTimer::timeout, this, &ConnectAttempts::sweep);
}

ConnectAttempts::~ConnectAttempts()
{
    cancelAll();
}

PrinterOutcome ConnectAttempts::classify(QAbstractSocket::SocketError error, int *localError)
{
    // A socket that cannot be had is this computer's fault, not the printer's,
    // whatever Qt calls it.
    *localError = probeSocket();
    if (!*localError && error == QAbstractSocket::SocketResourceError)
        *localError = ENOBUFS;
    if (!*localError && error == QAbstractSocket::SocketAddressNotAvailableError)
        *localError = EADDRNOTAVAIL;
    if (*localError)
        return PrinterOutcome::LocalError;
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return PrinterOutcome::HostNotFound;
    case QAbstractSocket::SocketTimeoutError:
        return PrinterOutcome::NoAnswer;
    default:
        return PrinterOutcome::Refused;
    }
}

void ConnectAttempts::start(int key, QTcpSocket *socket, const QString &address, quint16 port)
{
    cancel(key);
    // A line that hung up, or one still carrying half a logo, is not reused.
    socket->abort();
    Attempt &a = attempts[key];
    a.socket = socket;
    socket->setProperty(attemptingProperty, true);
    a.since.start();
    a.wires.push_back(connect(socket, &QAbstractSocket::connected, this, [this, key] {
        forget(key);
        emit connected(key);
    }));
    // The first error is the one that counts: Qt follows a socket it could not
    // open with "refused".
    a.wires.push_back(connect(socket, &QAbstractSocket::errorOccurred, this,
                              [this, key](QAbstractSocket::SocketError error) {
                                  int local = 0;
                                  const PrinterOutcome outcome = classify(error, &local);
                                  fail(key, outcome, local);
                              }));
    if (timeoutMs > 0 && !sweeper->isActive())
        sweeper->start(std::clamp(timeoutMs / 8, 10, 250));
    // Unbuffered: a frame goes straight to the kernel, without a copy into Qt's
    // buffer and a write notifier turned on and off for every frame.
    const QHostAddress literal(address);
    if (literal.isNull())
        socket->connectToHost(address, port, QIODevice::ReadWrite | QIODevice::Unbuffered);
    else
        socket->connectToHost(literal, port, QIODevice::ReadWrite | QIODevice::Unbuffered);
}

bool ConnectAttempts::isAttempting(const QTcpSocket *socket)
{
    return socket && socket->property(attemptingProperty).toBool();
}

void ConnectAttempts::forget(int key)
{
    const auto it = attempts.find(key);
    if (it == attempts.end())
        return;
    for (const QMetaObject::Connection &wire : it->wires)
        disconnect(wire);
    if (it->socket)
        it->socket->setProperty(attemptingProperty, QVariant());
    attempts.erase(it);
    if (attempts.isEmpty())
        sweeper->stop();
}

void ConnectAttempts::cancel(int key)
{
    forget(key);
}

void ConnectAttempts::cancelAll()
{
    const QList<int> keys = attempts.keys();
    for (const int key : keys)
        forget(key);
}

void ConnectAttempts::fail(int key, PrinterOutcome outcome, int localError)
{
    if (!attempts.contains(key))
        return;
    forget(key);
    emit failed(key, outcome, localError);
}

void ConnectAttempts::sweep()
{
    QList<int> late;
    for (auto it = attempts.cbegin(); it != attempts.cend(); ++it) {
        if (!it->socket || (timeoutMs > 0 && it->since.elapsed() >= timeoutMs))
            late.append(it.key());
    }
    for (const int key : late) {
        const auto it = attempts.find(key);
        if (it == attempts.end())
            continue;
        QPointer<QTcpSocket> socket = it->socket;
        forget(key);
        if (!socket)
            continue; // gone with its owner: nobody to tell
        socket->abort();
        emit failed(key, PrinterOutcome::NoAnswer, 0);
    }
}
