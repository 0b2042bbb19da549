#include "core/transfer/rollout.h"

#include "core/system/filedescriptors.h"
#include "core/transfer/connectattempts.h"
#include "core/transfer/connection.h"
#include "core/transfer/timing.h"

#include <QPointer>
#include <QScopedValueRollback>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cerrno>

Rollout::Rollout(Notifier *notifier, QObject *parent)
    : QObject(parent), notifier(notifier), connects(new ConnectAttempts(this))
{
    connect(connects, &ConnectAttempts::connected, this, &Rollout::connected);
    connect(connects, &ConnectAttempts::failed, this,
            [this](int i, PrinterOutcome outcome, int localError) {
                if (outcome == PrinterOutcome::LocalError)
                    localFault(i, localError);
                else
                    attemptEnded(i, outcome);
            });
}

Rollout::~Rollout()
{
    // The sockets and connections go with this object as its children; nothing
    // they say while closing may reach it half destroyed.
    abandon();
}

void Rollout::abandon()
{
    connects->cancelAll();
    for (int i = 0; i < int(printers.size()); ++i) {
        cutLoose(i);
        printers[size_t(i)].phase = Phase::Ended;
    }
}

void Rollout::setLogo(const QByteArray &hex, int lines, const QByteArray &frame)
{
    logoHex = hex;
    lineCount = lines;
    frameTemplate = frame;
}

void Rollout::start(const QList<PrinterTarget> &list)
{
    abandon(); // a run still going, if any
    ++run;
    targets = list;
    outcomes.clear();
    for (const PrinterTarget &t : list) {
        PrinterResult r;
        PrinterAddress &where = r;
        where = t;
        r.rows = lineCount;
        r.attempts = 0;
        outcomes.append(r);
    }
    printers.clear();
    printers.resize(size_t(list.size()));
    next = flying = ended = 0;
    localCap = 0;
    heldBack.clear();
    heldBackTotal = 0;
    stopping = false;
    if (list.isEmpty()) {
        QMetaObject::invokeMethod(this, &Rollout::finished, Qt::QueuedConnection);
        return;
    }
    launchMore();
}

void Rollout::launchMore()
{
    // A printer that ends at once (no descriptor) ends inside this loop; the
    // loop goes on with the next rather than nesting another.
    if (launching)
        return;
    const QScopedValueRollback<bool> inside(launching, true);
    while (!stopping && (!heldBack.isEmpty() || next < targets.size()) &&
           (jobs <= 0 || flying < jobs) && (localCap <= 0 || flying < localCap)) {
        const int i = heldBack.isEmpty() ? next++ : heldBack.takeFirst();
        ++flying;
        Printer &p = printers[size_t(i)];
        if (!p.sinceStart.isValid())
            p.sinceStart.start();
        attempt(i);
    }
}

void Rollout::attempt(int i)
{
    Printer &p = printers[size_t(i)];
    PrinterResult &r = outcomes[i];
    const PrinterTarget &t = targets.at(i);
    ++r.attempts;
    r.rowsSent = 0;
    r.outcome = PrinterOutcome::Waiting;
    // A socket that cannot be had is this computer's fault, not the printer's:
    // Qt would report it as a refused connection.
    if (const int error = probeSocket()) {
        p.phase = Phase::Connecting;
        localFault(i, error);
        return;
    }
    p.socket = new QTcpSocket(this);
    p.phase = Phase::Connecting;
    // Connected, refused, not found, not connected in time or no socket to be
    // had: the same rule as the window's "Ponów nieudane". Wired ahead of the
    // connection's own handler, which calls any failure refused.
    connects->setTimeout(timeoutMs);
    connects->start(i, p.socket, t.address, t.port);
    if (p.phase != Phase::Connecting)
        return; // failed at once
    p.connection = new Connection(p.socket, lineCount, notifier);
    p.connection->setParent(this);
    p.connection->setPrinter(t.name, t.address, t.port);
    p.connection->setAnswerTimeout(timeoutMs, true);
    p.connection->setTransferData(&logoHex, frameTemplate);
    connect(p.connection, &Connection::outcomeChanged, this, [this, i] { outcomeChanged(i); });
}

void Rollout::connected(int i)
{
    Printer &p = printers[size_t(i)];
    if (p.phase != Phase::Connecting)
        return;
    p.phase = Phase::Sending;
    if (stopping) {
        attemptEnded(i, PrinterOutcome::Stopped);
        return;
    }
    if (checkOnly) {
        attemptEnded(i, PrinterOutcome::WouldProgram);
        return;
    }
    p.connection->setCurrentLine(1);
    p.connection->setLineCount(lineCount);
    p.connection->sendLine();
}

bool Rollout::localFault(int i, int error)
{
    Printer &p = printers[size_t(i)];
    connects->cancel(i);
    cutLoose(i);
    PrinterResult &r = outcomes[i];
    --r.attempts; // it never left this computer
    r.cause = localFaultText(error);
    if (p.localFaults++ == 0)
        ++heldBackTotal;
    // Held back until another printer's end frees a descriptor; with none in
    // flight, nothing will.
    if (flying > 1 && p.localFaults < ConnectAttempts::maxLocalFaults && !stopping) {
        --flying;
        localCap = flying;
        p.phase = Phase::Queued;
        heldBack.append(i);
        return true;
    }
    p.phase = Phase::Pausing;
    settle(i, PrinterOutcome::LocalError);
    return false;
}

void Rollout::outcomeChanged(int i)
{
    const Printer &p = printers[size_t(i)];
    if (p.connection && hasEnded(p.connection->outcome()))
        attemptEnded(i, p.connection->outcome());
}

void Rollout::attemptEnded(int i, PrinterOutcome outcome)
{
    Printer &p = printers[size_t(i)];
    if (p.phase != Phase::Connecting && p.phase != Phase::Sending)
        return;
    if (p.phase == Phase::Connecting)
        connects->cancel(i);
    PrinterResult &r = outcomes[i];
    r.outcome = outcome;
    // No connection yet when connecting failed at once.
    r.rowsSent = p.connection ? p.connection->rowsSent() : 0;
    // Closed at once, so that a limit on printers in flight limits open
    // connections; the objects go later, since this may run inside their signals.
    p.phase = Phase::Pausing;
    cutLoose(i);
    if (isFailure(outcome) && r.attempts <= retries && !stopping) {
        QTimer::singleShot(std::max(retryPauseMs, 0), this, [this, i, thisRun = run] {
            if (run == thisRun && printers[size_t(i)].phase == Phase::Pausing && !stopping)
                attempt(i);
        });
        return;
    }
    settle(i, outcome);
}

void Rollout::cutLoose(int i)
{
    Printer &p = printers[size_t(i)];
    if (p.connection)
        p.connection->disconnect(this);
    if (p.socket) {
        p.socket->disconnect(this);
        if (p.socket->state() != QAbstractSocket::UnconnectedState)
            p.socket->abort();
    }
    release(i);
}

void Rollout::release(int i)
{
    Printer &p = printers[size_t(i)];
    // This may run inside the objects' own signals, and a box the connection
    // raised there is still to be shown: they go after that, twice deferred.
    QPointer<Connection> connection = p.connection;
    QPointer<QTcpSocket> socket = p.socket;
    p.connection = nullptr;
    p.socket = nullptr;
    if (!connection && !socket)
        return;
    QMetaObject::invokeMethod(
        this,
        [connection, socket] {
            if (connection)
                connection->deleteLater();
            if (socket)
                socket->deleteLater();
        },
        Qt::QueuedConnection);
}

void Rollout::settle(int i, PrinterOutcome outcome)
{
    Printer &p = printers[size_t(i)];
    if (p.phase == Phase::Ended)
        return;
    const bool started = p.phase != Phase::Queued;
    p.phase = Phase::Ended;
    PrinterResult &r = outcomes[i];
    r.outcome = outcome;
    if (outcome != PrinterOutcome::LocalError)
        r.cause.clear();
    r.seconds = p.sinceStart.isValid() ? p.sinceStart.elapsed() / 1000.0 : 0;
    if (started)
        --flying;
    ++ended;
    emit printerEnded(i);
    launchMore();
    if (ended == targets.size()) {
        // Not from inside a socket's signal: whoever hears it may delete this.
        QMetaObject::invokeMethod(this, &Rollout::finished, Qt::QueuedConnection);
    }
}

void Rollout::stop()
{
    if (stopping || ended == targets.size())
        return;
    stopping = true;
    for (int i = 0; i < int(printers.size()); ++i) {
        Printer &p = printers[size_t(i)];
        switch (p.phase) {
        case Phase::Queued:
            settle(i, PrinterOutcome::Stopped);
            break;
        case Phase::Connecting:
            attemptEnded(i, PrinterOutcome::Stopped);
            break;
        case Phase::Pausing: // its last attempt's failure stands
            settle(i, outcomes[i].outcome);
            break;
        case Phase::Sending:
            // Its next answer ends it, as the answer to the last row.
            p.connection->setCurrentLine(lineCount);
            break;
        case Phase::Ended:
            break;
        }
    }
    next = targets.size();
    heldBack.clear();
    if (ended < targets.size())
        QTimer::singleShot(Timing::stopGraceFor(timeoutMs), this, [this, thisRun = run] {
            if (run == thisRun)
                endAll();
        });
}

void Rollout::endAll()
{
    for (int i = 0; i < int(printers.size()); ++i) {
        Printer &p = printers[size_t(i)];
        if (p.phase == Phase::Sending)
            p.connection->cancelSend(); // ends it as stopped, through outcomeChanged
        if (p.phase == Phase::Sending)
            attemptEnded(i, PrinterOutcome::Stopped);
    }
}
