#pragma once

#include "core/transfer/printeraddress.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Where one printer's programming stands, or how it ended.
enum class PrinterOutcome
{
    Waiting,           // not started yet
    Sending,           // frames going out
    Programmed,        // every row acknowledged
    AlreadyProgrammed, // the printer answered that it holds a graphic
    Refused,           // connection refused
    HostNotFound,
    HungUp,        // the printer closed the line mid-logo
    WriteError,    // a frame could not be written
    NoAnswer,      // silent past the time-out, when the time-out ends the transfer
    Stopped,       // stopped by the operator
    Unconfirmed,   // every row sent, but some answer was not the one-byte acknowledgement
    NotTakingPart, // unticked
    NotConnected,  // ticked, but not connected when the send started
    Unchanged,     // holds this very logo per the journal: not written again
    WouldProgram,  // a dry run reached it: a real run would program it
    WriteLimit,    // written too often lately per the journal: not written
    LocalError,    // this computer could not open the connection (descriptors, ...)
    BadPort,       // ticked, but its port is no number from 1 to 65535: never connected
};
// For tables indexed by outcome: BadPort stays the last.
constexpr int outcomeCount = int(PrinterOutcome::BadPort) + 1;

// Failed outcomes, the ones worth another attempt. "Already programmed" is not one:
// trying again cannot change it.
bool isFailure(PrinterOutcome o);
// The printer holds, or a real run would give it, the logo: Programmed,
// Unchanged, WouldProgram.
bool isSuccess(PrinterOutcome o);
// A failure that another attempt can mend: isFailure() or NotConnected.
bool isRetryable(PrinterOutcome o);
// Everything but Waiting and Sending.
bool hasEnded(PrinterOutcome o);
// The row's words. `rowsSent` is the number of rows the printer acknowledged: while
// sending the row on the wire is the next one, and a hang-up happened there.
QString outcomeText(PrinterOutcome o, int rowsSent, int rows);
// Stable English key, for scripts and reports.
QString outcomeKey(PrinterOutcome o);
// The outcome a report's words name (outcomeText, a row number or a cause
// after it aside); false when none does.
bool outcomeFromText(const QString &text, PrinterOutcome *o);

struct PrinterResult : PrinterAddress
{
    PrinterOutcome outcome = PrinterOutcome::Waiting;
    int rowsSent = 0; // rows the printer acknowledged
    int rows = 0;     // rows of the logo
    double seconds = 0;
    int attempts = 1;
    QString cause; // LocalError: what was missing, in words
};

// outcomeText, with the cause after a colon when there is one.
QString resultText(const PrinterResult &r);

// A header line, then one line per printer (name, address, port, outcome, rows sent
// of rows, seconds), in the printers CSV's conventions.
QByteArray formatReportCsv(const QList<PrinterResult> &results);
