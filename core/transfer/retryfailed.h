#pragma once

#include "core/transfer/printeroutcome.h"

#include <QList>
#include <QString>

class Connection;

// A printer to try again: its Connection and where its printer listens.
struct RetryTarget
{
    Connection *connection = nullptr;
    QString address;
    quint16 port = 0;
};

// Of the given printers, each whose transfer ended in a failure is connected
// anew and, once connected, sent the logo again from row 1; the others are left
// alone. Returns the indexes of the printers tried again.
QList<int> retryFailed(const QList<RetryTarget> &targets);

// Cuts the printer's line, connects it again and starts the logo from row 1 once
// the line is up. A connection that fails ends the printer with that failure.
void restartOnNewConnection(Connection *connection, const QString &address, quint16 port);

// A printer still being connected anew is cut off and ends as stopped; any
// other is left as it is.
void stopRestart(Connection *connection);
