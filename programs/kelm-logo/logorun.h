#pragma once

#include "programs/kelm-logo/commandline.h"
#include "core/transfer/outcomecounts.h"
#include "core/transfer/rollout.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QVector>

#include <cstdio>
#include <memory>

class Journal;
class Notifier;
class SerialRollout;

// The exit status when the report (--report) could not be written: the printers
// were sent to, so neither 1 (a printer failed) nor 2 (nothing sent) would be true.
constexpr int reportFailedCode = 3;

// One `kelm-logo program` run: the TCP/IP printers through the roll-out engine,
// the serial printer beside them, and what the operator and scripts read of it.
class LogoRun : public QObject
{
    Q_OBJECT

public:
    // The report (--report) is written at the end, whole or not at all; `journal`
    // is loaded and tells which printers are left alone.
    LogoRun(const LogoCommand &command, const QList<PrinterTarget> &targets,
            const LogoRaster &raster, const QByteArray &frameTemplate, Journal *journal);
    ~LogoRun() override;

    void start();
    // Ctrl+C: no new frames, the answers in flight still count, then the end.
    void interrupt();
    // A second Ctrl+C or SIGTERM: every printer as it stands, at once.
    void stopNow();
    int exitCode() const { return code; }

signals:
    void done();

private:
    int total() const;
    PrinterResult resultAt(int index) const;
    void decideFromJournal();
    void printerEnded(int index);
    void writeJournal(const PrinterResult &result);
    void checkFinished();
    void finish();
    void drawStatus();
    void noticeRetries();
    void clearStatus();
    void printLine(const QString &text);

    LogoCommand command;
    QList<PrinterTarget> targets;
    std::unique_ptr<Notifier> quiet;
    Rollout *rollout = nullptr;
    SerialRollout *serial = nullptr;
    Journal *journal;
    QByteArray fingerprint;
    int rowCount;
    QVector<int> rolloutIndex;          // per printer: its place in the engine, -1 if left alone
    QVector<int> printerOf;             // per engine place: the printer
    QHash<int, PrinterResult> decided;  // printers the journal left alone
    QHash<int, PrinterOutcome> settled; // outcomes the journal changed after the end
    bool journalFailed = false;
    FILE *human; // stdout, or stderr when stdout carries JSON
    bool live;   // `human` is a terminal: one status line rewritten in place
    bool statusShown = false;
    QVector<bool> ended;
    QVector<int> failedAttempts; // attempts already told as failed, per printer
    OutcomeCounts endedCounts; // the printers ended so far, counted as the summary counts
    bool tcpFinished = true;
    bool serialEnded = true;
    bool interrupted = false;
    bool finishing = false;
    int code = 1;
    QElapsedTimer clock;
    QTimer statusTimer;
    QTimer retryWatch;
    QTimer stopBackstop;
};
