#include "programs/kelm-logo/logorun.h"

#include "programs/kelm-logo/endtable.h"
#include "programs/kelm-logo/jsonlines.h"

#include "core/notifier.h"
#include "core/system/filedescriptors.h"
#include "core/system/safefile.h"
#include "core/transfer/journal.h"
#include "core/transfer/outcomecounts.h"
#include "core/transfer/printeroutcome.h"
#include "core/transfer/serialrollout.h"
#include "core/transfer/timing.h"

#include <QDir>

#include <cerrno>
#include <unistd.h>

namespace {

// The engine's boxes say what the outcomes already say: one line per printer.
class QuietNotifier : public Notifier
{
public:
    void show(const Notice &) override {}
};

// How long Ctrl+C waits for the engine to end every printer before reporting
// them as they stand.
constexpr int stopBackstopMs = 5000;

QString label(const PrinterResult &r)
{
    return r.name.isEmpty() ? printerAddress(r)
                            : QStringLiteral("%1 (%2)").arg(r.name, printerAddress(r));
}

QString endedLine(int counter, int total, const PrinterResult &r)
{
    QString line = QStringLiteral("[%1/%2] %3: %4; wierszy %5 z %6; %7")
                       .arg(counter)
                       .arg(total)
                       .arg(label(r), resultText(r))
                       .arg(r.rowsSent)
                       .arg(r.rows)
                       .arg(secondsText(r.seconds));
    if (r.attempts > 1)
        line += QStringLiteral("; prób %1").arg(r.attempts);
    return line;
}

} // namespace

LogoRun::LogoRun(const LogoCommand &command, const QList<PrinterTarget> &targets,
                 const LogoRaster &raster, const QByteArray &frameTemplate, Journal *journal)
    : command(command), targets(targets), quiet(new QuietNotifier), journal(journal),
      fingerprint(logoFingerprint(raster.hex, raster.lineCount, frameTemplate)),
      rowCount(raster.lineCount), human(command.json ? stderr : stdout),
      live(::isatty(::fileno(human)))
{
    const int timeoutMs = int(command.timeoutSeconds * 1000);
    if (!targets.isEmpty()) {
        rollout = new Rollout(quiet.get(), this);
        rollout->setLogo(raster.hex, raster.lineCount, frameTemplate);
        rollout->setTimeout(timeoutMs);
        rollout->setRetries(command.retries);
        rollout->setJobs(command.jobs);
        rollout->setCheckOnly(command.check);
        connect(rollout, &Rollout::printerEnded, this,
                [this](int i) { printerEnded(printerOf.value(i, -1)); });
        connect(rollout, &Rollout::finished, this, [this] {
            tcpFinished = true;
            checkFinished();
        });
    }
    if (!command.serial.isEmpty()) {
        serial = new SerialRollout(this);
        serial->setLogo(raster.hex, raster.lineCount, frameTemplate);
        serial->setTimeout(timeoutMs);
        serial->setRetries(command.retries);
        serial->setStopWait(Timing::stopGraceFor(timeoutMs)); // as the engine waits
        serial->setCheckOnly(command.check);
        connect(serial, &SerialRollout::ended, this, [this] {
            serialEnded = true;
            printerEnded(this->targets.size());
            checkFinished();
        });
    }
    ended.fill(false, total());
    failedAttempts.fill(0, total());
    decideFromJournal();
    // The engines say when a printer ends, not when an attempt fails and waits
    // for the next; a look at the results now and then tells that.
    retryWatch.setInterval(100);
    connect(&retryWatch, &QTimer::timeout, this, &LogoRun::noticeRetries);
    statusTimer.setInterval(250);
    connect(&statusTimer, &QTimer::timeout, this, &LogoRun::drawStatus);
    stopBackstop.setSingleShot(true);
    connect(&stopBackstop, &QTimer::timeout, this, &LogoRun::finish);
}

LogoRun::~LogoRun() = default;

int LogoRun::total() const
{
    return targets.size() + (serial ? 1 : 0);
}

PrinterResult LogoRun::resultAt(int index) const
{
    if (decided.contains(index))
        return decided.value(index);
    PrinterResult r;
    if (index < targets.size()) {
        const int at = rolloutIndex.value(index, -1);
        if (at >= 0 && at < rollout->results().size()) {
            r = rollout->results().at(at);
        } else {
            PrinterAddress &where = r;
            where = targets.at(index);
        }
    } else {
        r = serial->result();
    }
    if (settled.contains(index))
        r.outcome = settled.value(index);
    return r;
}

void LogoRun::decideFromJournal()
{
    for (int i = 0; i < total(); ++i) {
        PrinterResult r;
        if (i < targets.size()) {
            PrinterAddress &where = r;
            where = targets.at(i);
        } else {
            r.address = command.serial;
        }
        r.rows = rowCount;
        r.attempts = 0;
        if (!command.force && journal) {
            if (journal->heldFingerprint(r.address, r.port) == fingerprint)
                r.outcome = PrinterOutcome::Unchanged;
            else if (journal->writesInLastDay(r.address, r.port) >= dailyWriteBudget)
                r.outcome = PrinterOutcome::WriteLimit;
        }
        if (r.outcome != PrinterOutcome::Waiting) {
            decided.insert(i, r);
        } else if (i < targets.size()) {
            rolloutIndex.append(printerOf.size());
            printerOf.append(i);
            continue;
        }
        if (i < targets.size())
            rolloutIndex.append(-1);
    }
}

void LogoRun::writeJournal(const PrinterResult &r)
{
    if (!journal || command.check || journalFailed)
        return;
    QString error;
    // The printers do not fail for it; the run says it once.
    if (!journal->append(r, fingerprint, &error)) {
        journalFailed = true;
        clearStatus();
        const QByteArray bytes =
            (QStringLiteral("kelm-logo: ") + error + QLatin1Char('\n')).toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    }
}

void LogoRun::start()
{
    clock.start();
    if (command.jobs > 0 && command.jobs < targets.size())
        printLine(QStringLiteral("Programowanie %1 drukarek, najwyżej %2 naraz.")
                      .arg(total())
                      .arg(command.jobs));
    else
        printLine(QStringLiteral("Programowanie %1 drukarek.").arg(total()));
    if (live)
        statusTimer.start();
    if (command.retries > 0)
        retryWatch.start();
    for (int i = 0; i < total(); ++i)
        if (decided.contains(i))
            printerEnded(i);
    if (rollout) {
        tcpFinished = false;
        QList<PrinterTarget> contacted;
        for (const int i : qAsConst(printerOf))
            contacted.append(targets.at(i));
        rollout->start(contacted);
    }
    if (serial && !decided.contains(targets.size())) {
        serialEnded = false;
        serial->start(command.serial);
    }
    checkFinished();
}

void LogoRun::interrupt()
{
    if (interrupted || finishing)
        return;
    interrupted = true;
    printLine(QStringLiteral("Przerwano (Ctrl+C): bez nowych ramek, czekam na odpowiedzi w "
                             "drodze. Ponowne Ctrl+C kończy od razu."));
    stopBackstop.start(stopBackstopMs);
    if (rollout && !tcpFinished)
        rollout->stop();
    if (serial && !serialEnded)
        serial->stop();
}

void LogoRun::stopNow()
{
    if (finishing)
        return;
    interrupted = true;
    finish();
}

void LogoRun::printerEnded(int index)
{
    // After finish() every printer has been told, ended or not.
    if (finishing || index < 0 || index >= ended.size() || ended.at(index))
        return;
    ended[index] = true;
    if (!decided.contains(index)) {
        PrinterResult r = resultAt(index);
        // It holds a logo, and the journal says it is this one.
        if (r.outcome == PrinterOutcome::AlreadyProgrammed && journal &&
            journal->heldFingerprint(r.address, r.port) == fingerprint)
            settled.insert(index, PrinterOutcome::Unchanged);
        writeJournal(resultAt(index));
    }
    const PrinterResult r = resultAt(index);
    endedCounts.add(r.outcome);
    if (command.json) {
        const QByteArray line = jsonLine(index + 1, r);
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
    }
    // On a terminal only what needs a look gets a line of its own; the status
    // line follows on its timer.
    if (!live || !isSuccess(r.outcome))
        printLine(endedLine(endedCounts.total(), total(), r));
}

void LogoRun::checkFinished()
{
    if (tcpFinished && serialEnded)
        finish();
}

void LogoRun::finish()
{
    if (finishing)
        return;
    finishing = true;
    statusTimer.stop();
    retryWatch.stop();
    stopBackstop.stop();
    clearStatus();

    QList<PrinterResult> results;
    for (int i = 0; i < total(); ++i) {
        PrinterResult r = resultAt(i);
        // Still on its way when the wait after Ctrl+C ran out.
        if (!hasEnded(r.outcome))
            r.outcome = PrinterOutcome::Stopped;
        if (!ended.at(i) && command.json) {
            const QByteArray line = jsonLine(i + 1, r);
            std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        }
        // A logo cut short by Ctrl+C: the journal must not go on saying it
        // holds the one before.
        if (!ended.at(i) && !decided.contains(i) && r.attempts > 0)
            writeJournal(r);
        results.append(r);
    }
    std::fflush(stdout);

    OutcomeCounts counts;
    for (const PrinterResult &r : qAsConst(results))
        counts.add(r.outcome);

    QString out = unprogrammedTable(results);
    out += QStringLiteral("\n%1; czas %2.\n")
               .arg(counts.summary(), secondsText(clock.elapsed() / 1000.0));
    if (interrupted)
        out += QStringLiteral("Przerwane przez Ctrl+C.\n");
    const QByteArray bytes = out.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), human);
    std::fflush(human);

    const int programmed = counts.of(PrinterOutcome::Programmed);
    const int would = counts.of(PrinterOutcome::WouldProgram);
    const int already = counts.of(PrinterOutcome::AlreadyProgrammed);
    const int failures =
        results.size() - programmed - already - would - counts.of(PrinterOutcome::Unchanged);
    bool failed = failures + already > 0 || interrupted;
    bool reportLost = false;
    QString reason;
    if (!command.report.isEmpty() &&
        !saveFileAtomically(command.report, formatReportCsv(results), &reason)) {
        const QString text =
            QStringLiteral("kelm-logo: nie zapisano raportu %1: %2; poprzedni plik raportu "
                           "(jeśli był) został bez zmian.\n")
                .arg(QDir::toNativeSeparators(command.report), reason);
        std::fputs(text.toUtf8().constData(), stderr);
        std::fflush(stderr);
        reportLost = true;
        failed = true;
    }
    const bool changed = programmed + would > 0;
    if (command.detailedExitCodes)
        code = (changed ? 2 : 0) | (failed ? 4 : 0);
    else
        code = reportLost ? reportFailedCode : failed ? 1 : 0;
    if (command.json) {
        const QByteArray line = summaryLine(counts, results.size(), code);
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
    }
    emit done();
}

void LogoRun::noticeRetries()
{
    for (int i = 0; i < total(); ++i) {
        if (ended.at(i))
            continue;
        const PrinterResult r = resultAt(i);
        if (!isFailure(r.outcome) || r.outcome == PrinterOutcome::Stopped ||
            r.attempts <= failedAttempts.at(i))
            continue;
        failedAttempts[i] = r.attempts;
        printLine(QStringLiteral("%1: %2 w próbie %3 z %4, ponowienie po przerwie")
                      .arg(label(r), outcomeText(r.outcome, r.rowsSent, r.rows))
                      .arg(r.attempts)
                      .arg(command.retries + 1));
    }
}

void LogoRun::drawStatus()
{
    if (!live || finishing)
        return;
    int inFlight = rollout ? rollout->inFlight() : 0;
    if (serial && !serialEnded)
        ++inFlight;
    const QString status = QStringLiteral("Zakończone %1 z %2, nieudane %3, w toku %4, %5")
                               .arg(endedCounts.total())
                               .arg(total())
                               .arg(endedCounts.failed())
                               .arg(inFlight)
                               .arg(secondsText(clock.elapsed() / 1000.0));
    const QByteArray bytes = ("\r\x1b[K" + status).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), human);
    std::fflush(human);
    statusShown = true;
}

void LogoRun::clearStatus()
{
    if (!statusShown)
        return;
    std::fputs("\r\x1b[K", human);
    statusShown = false;
}

void LogoRun::printLine(const QString &text)
{
    clearStatus();
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), human);
    std::fflush(human);
    if (live && !finishing && clock.isValid())
        drawStatus();
}
