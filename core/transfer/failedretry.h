#pragma once

#include "core/transfer/printeraddress.h"
#include "core/transfer/printeroutcome.h"
#include "core/transfer/timing.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class Connection;
class ConnectAttempts;
class Notifier;

// A printer to try again: its Connection and where its printer listens.
struct RetryTarget
{
    Connection *connection = nullptr;
    PrinterAddress printer;
};

// "Try the failed ones again" for Connections bound to sockets someone else
// owns: each printer's socket is cut, and after a pause connected anew within
// the connect time-out, then sent the logo from row 1. A socket this computer
// cannot open is held back while other attempts may free a descriptor. The
// printers that do not connect end with the reason and are told in one box.
class FailedRetry : public QObject
{
    Q_OBJECT

public:
    explicit FailedRetry(Notifier *notifier, QObject *parent = nullptr);
    ~FailedRetry() override;

    void setNotifier(Notifier *n) { notifier = n; }
    void setConnectTimeout(int ms);
    void setPause(int ms) { pauseMs = ms; }

    // Of the given printers, each whose transfer failed or that never connected
    // is tried again; the others are left alone. Returns the indexes tried.
    QList<int> retry(const QList<RetryTarget> &targets);
    // A printer still being connected anew is cut off and ends as stopped; any
    // other is left as it is.
    void stop(Connection *connection);
    // Printers waiting for the pause or their connection.
    int pending() const { return int(printers.size()); }
    // Why this printer's last retry could not connect, when the cause lies on
    // this computer (e.g. no descriptor left); empty otherwise.
    QString causeOf(const Connection *connection) const { return causes.value(connection); }

private:
    struct Printer
    {
        QPointer<Connection> connection;
        PrinterAddress where;
        int localFaults = 0;
    };

    void launch(int key);
    void connected(int key);
    void failed(int key, PrinterOutcome outcome, int localError);
    void settle(int key, PrinterOutcome outcome, const QString &why);
    void launchHeld();
    void tellMissed();

    Notifier *notifier;
    ConnectAttempts *attempts;
    int pauseMs = Timing::retryPauseMs;
    int nextKey = 0;
    QHash<int, Printer> printers;
    QList<int> held; // held back for want of a descriptor
    QStringList missed;
    QHash<const Connection *, QString> causes;
};
