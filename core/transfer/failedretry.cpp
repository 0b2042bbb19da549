#include "core/transfer/failedretry.h"

#include "core/notifier.h"
#include "core/product.h"
#include "core/system/filedescriptors.h"
#include "core/transfer/connectattempts.h"
#include "core/transfer/connection.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

// While it is connected anew the Connection must not tell each failure in a
// box of its own, nor call a socket this computer could not open refused.
void quiet(Connection *connection, QTcpSocket *socket, bool on)
{
    const char *signal = SIGNAL(error(QAbstractSocket::SocketError));
    const char *slot = SLOT(displayError(QAbstractSocket::SocketError));
    if (on)
        QObject::disconnect(socket, signal, connection, slot);
    else
        QObject::connect(socket, signal, connection, slot, Qt::UniqueConnection);
}

} // namespace

FailedRetry::FailedRetry(Notifier *notifier, QObject *parent)
    : QObject(parent), notifier(notifier), attempts(new ConnectAttempts(this))
{
    connect(attempts, &ConnectAttempts::connected, this, &FailedRetry::connected);
    connect(attempts, &ConnectAttempts::failed, this, &FailedRetry::failed);
}

FailedRetry::~FailedRetry()
{
    // Whoever ran the retry is gone (the dialog closed): a printer not yet
    // connected anew is not left waiting for ever.
    attempts->cancelAll();
    for (const Printer &p : qAsConst(printers)) {
        if (!p.connection)
            continue;
        if (QTcpSocket *socket = p.connection->tcpSocket()) {
            socket->abort();
            quiet(p.connection, socket, false);
        }
        p.connection->setOutcome(PrinterOutcome::Stopped);
    }
}

void FailedRetry::setConnectTimeout(int ms)
{
    attempts->setTimeout(ms);
}

QList<int> FailedRetry::retry(const QList<RetryTarget> &targets)
{
    QList<int> tried;
    QList<int> keys;
    for (int i = 0; i < targets.size(); ++i) {
        Connection *connection = targets.at(i).connection;
        if (!connection || !connection->tcpSocket() || !isRetryable(connection->outcome()))
            continue;
        // Cut now: the printer is told at once that this line is over.
        connection->tcpSocket()->abort();
        causes.remove(connection);
        connection->setOutcome(PrinterOutcome::Waiting);
        const int key = nextKey++;
        printers.insert(key, {connection, targets.at(i).printer, 0});
        keys.append(key);
        tried.append(i);
    }
    if (!keys.isEmpty())
        missed.clear();
    QTimer::singleShot(std::max(pauseMs, 0), this, [this, keys] {
        for (const int key : keys)
            launch(key);
        tellMissed();
    });
    return tried;
}

void FailedRetry::launch(int key)
{
    const auto it = printers.find(key);
    if (it == printers.end())
        return;
    Connection *connection = it->connection;
    QTcpSocket *socket = connection ? connection->tcpSocket() : nullptr;
    if (!socket || connection->outcome() != PrinterOutcome::Waiting) {
        printers.erase(it);
        return;
    }
    quiet(connection, socket, true);
    attempts->start(key, socket, it->where.address, it->where.port);
}

void FailedRetry::connected(int key)
{
    const Printer p = printers.take(key);
    if (p.connection) {
        quiet(p.connection, p.connection->tcpSocket(), false);
        p.connection->setCurrentLine(1);
        p.connection->sendLine();
    }
    launchHeld();
    tellMissed();
}

void FailedRetry::failed(int key, PrinterOutcome outcome, int localError)
{
    const auto it = printers.find(key);
    if (it == printers.end())
        return;
    if (outcome == PrinterOutcome::LocalError) {
        // Another attempt's end may free a descriptor; with none under way,
        // nothing will.
        if (attempts->connecting() > 0 && ++it->localFaults < ConnectAttempts::maxLocalFaults) {
            held.append(key);
            return;
        }
        settle(key, outcome, localFaultText(localError));
    } else {
        settle(key, outcome, QString());
    }
    launchHeld();
    tellMissed();
}

void FailedRetry::settle(int key, PrinterOutcome outcome, const QString &why)
{
    const Printer p = printers.take(key);
    held.removeAll(key);
    if (!p.connection)
        return;
    if (QTcpSocket *socket = p.connection->tcpSocket()) {
        socket->abort();
        quiet(p.connection, socket, false);
    }
    if (!why.isEmpty())
        causes.insert(p.connection, why);
    p.connection->setOutcome(outcome);
    const QString where = QStringLiteral("%1:%2").arg(p.where.address).arg(p.where.port);
    const QString printer =
        p.where.name.isEmpty() ? where : QStringLiteral("„%1” (%2)").arg(p.where.name, where);
    QString reason = outcomeText(outcome, 0, 0);
    if (!why.isEmpty())
        reason += QStringLiteral(": ") + why;
    missed.append(QStringLiteral("%1: %2").arg(printer, reason));
}

void FailedRetry::launchHeld()
{
    // One that ended may have freed one descriptor: one held printer tries again.
    if (!held.isEmpty())
        launch(held.takeFirst());
}

void FailedRetry::tellMissed()
{
    // Settled printers that are still held back wait for their turn.
    if (!held.isEmpty() && attempts->connecting() == 0) {
        const QList<int> stuck = held;
        for (const int key : stuck)
            settle(key, PrinterOutcome::LocalError, localFaultText(probeSocket()));
    }
    if (attempts->connecting() > 0 || !held.isEmpty())
        return;
    bool waiting = false;
    for (const Printer &p : qAsConst(printers))
        waiting = waiting || (p.connection && p.connection->outcome() == PrinterOutcome::Waiting);
    if (waiting)
        return;
    if (!missed.isEmpty() && notifier) {
        Notice notice{Notice::Critical, productName(),
                      QStringLiteral("Nie połączono ponownie z drukarkami: %1.").arg(missed.size()),
                      Notice::Close};
        notice.detailedText = missed.join(QLatin1Char('\n'));
        // Not from inside a socket's signal: the box waits for it to return.
        QMetaObject::invokeMethod(
            this, [this, notice] { notifier->show(notice); }, Qt::QueuedConnection);
    }
    missed.clear();
}

void FailedRetry::stop(Connection *connection)
{
    for (auto it = printers.begin(); it != printers.end(); ++it) {
        if (it->connection != connection)
            continue;
        const int key = it.key();
        attempts->cancel(key);
        held.removeAll(key);
        printers.erase(it);
        if (QTcpSocket *socket = connection->tcpSocket()) {
            socket->abort();
            quiet(connection, socket, false);
        }
        connection->setOutcome(PrinterOutcome::Stopped);
        tellMissed();
        return;
    }
    if (connection->outcome() == PrinterOutcome::Waiting) {
        if (QTcpSocket *socket = connection->tcpSocket())
            socket->abort();
        connection->setOutcome(PrinterOutcome::Stopped);
    }
}
