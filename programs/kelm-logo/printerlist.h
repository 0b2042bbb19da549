#pragma once

#include "core/transfer/rollout.h"

#include <QList>
#include <QStringList>

struct LogoCommand;

// The TCP/IP printers a run programs, in the order given: the printers files
// first, then the --tcp options.
struct PrinterList
{
    QList<PrinterTarget> targets;
    QStringList problems; // "FILE, wiersz N: reason", one per bad line or option
    int unticked = 0;     // left out of the files' printers for want of --all
    int leftOut = 0;      // left out of a report by --only-failed
};

// A printers file is a settings.txt when it has a printer line, otherwise a CSV
// of printers. An unreadable file is a problem too.
PrinterList readPrinters(const LogoCommand &command);
