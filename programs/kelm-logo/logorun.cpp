#include "programs/kelm-logo/logorun.h"

#include "core/notifier.h"
#include "core/transfer/outcomecounts.h"
#include "core/transfer/printeroutcome.h"
#include "core/system/safefile.h"
#include "core/transfer/serialrollout.h"
#include "core/transfer/timing.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <algorithm>
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

QString jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString seconds(double s)
{
    return QLocale(QLocale::Polish, QLocale::Poland).toString(s, 'f', 1) + QStringLiteral(" s");
}

QString addressOf(const PrinterResult &r)
{
    // An IPv6 address in brackets, as --tcp takes it.
    const QString host =
        r.address.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(r.address) : r.address;
    return r.port ? QStringLiteral("%1:%2").arg(host).arg(r.port)
                  : QStringLiteral("port szeregowy %1").arg(r.address);
}

QString label(const PrinterResult &r)
{
    return r.name.isEmpty() ? addressOf(r) : QStringLiteral("%1 (%2)").arg(r.name, addressOf(r));
}

QString endedLine(int counter, int total, const PrinterResult &r)
{
    QString line = QStringLiteral("[%1/%2] %3: %4; wierszy %5 z %6; %7")
                       .arg(counter)
                       .arg(total)
                       .arg(label(r), outcomeText(r.outcome, r.rowsSent, r.rows))
                       .arg(r.rowsSent)
                       .arg(r.rows)
                       .arg(seconds(r.seconds));
    if (r.attempts > 1)
        line += QStringLiteral("; prób %1").arg(r.attempts);
    return line;
}

QString padded(const QString &text, int width)
{
    return text.leftJustified(width, QLatin1Char(' '));
}

} // namespace

QByteArray jsonLine(int number, const PrinterResult &r)
{
    const QString line =
        QStringLiteral("{\"printer\":%1,\"name\":%2,\"address\":%3,\"port\":%4,\"outcome\":%5,"
                       "\"rows_sent\":%6,\"rows\":%7,\"seconds\":%8,\"attempts\":%9}")
            .arg(number)
            .arg(jsonString(r.name), jsonString(r.address))
            .arg(r.port)
            .arg(jsonString(outcomeKey(r.outcome)))
            .arg(r.rowsSent)
            .arg(r.rows)
            .arg(QString::number(r.seconds, 'f', 3))
            .arg(r.attempts);
    return line.toUtf8() + '\n';
}

LogoRun::LogoRun(const LogoCommand &command, const QList<PrinterTarget> &targets,
                 const LogoRaster &raster, const QByteArray &frameTemplate)
    : command(command), targets(targets), quiet(new QuietNotifier),
      human(command.json ? stderr : stdout), live(::isatty(::fileno(human)))
{
    const int timeoutMs = int(command.timeoutSeconds * 1000);
    if (!targets.isEmpty()) {
        rollout = new Rollout(quiet.get(), this);
        rollout->setLogo(raster.hex, raster.lineCount, frameTemplate);
        rollout->setTimeout(timeoutMs);
        rollout->setRetries(command.retries);
        rollout->setJobs(command.jobs);
        connect(rollout, &Rollout::printerEnded, this, &LogoRun::printerEnded);
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
        connect(serial, &SerialRollout::ended, this, [this] {
            serialEnded = true;
            printerEnded(this->targets.size());
            checkFinished();
        });
    }
    ended.fill(false, total());
    failedAttempts.fill(0, total());
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
    if (index < targets.size()) {
        if (index < rollout->results().size())
            return rollout->results().at(index);
        PrinterResult r;
        PrinterAddress &where = r;
        where = targets.at(index);
        return r;
    }
    return serial->result();
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
    if (rollout) {
        tcpFinished = false;
        rollout->start(targets);
    }
    if (serial) {
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
    ++endedCount;
    const PrinterResult r = resultAt(index);
    if (r.outcome != PrinterOutcome::Programmed)
        ++failedCount;
    if (command.json) {
        const QByteArray line = jsonLine(index + 1, r);
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
    }
    // On a terminal only what needs a look gets a line of its own; the status
    // line follows on its timer.
    if (!live || r.outcome != PrinterOutcome::Programmed)
        printLine(endedLine(endedCount, total(), r));
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
        results.append(r);
    }
    std::fflush(stdout);

    OutcomeCounts counts;
    QList<int> missing;
    for (int i = 0; i < results.size(); ++i) {
        counts.add(results.at(i).outcome);
        if (results.at(i).outcome != PrinterOutcome::Programmed)
            missing.append(i);
    }

    // Grouped by outcome, so that each kind of failure can be dealt with at once.
    std::stable_sort(missing.begin(), missing.end(), [&](int a, int b) {
        return int(results.at(a).outcome) < int(results.at(b).outcome);
    });

    QString out;
    if (!missing.isEmpty()) {
        const QStringList heads{QStringLiteral("Nr"),      QStringLiteral("Drukarka"),
                                QStringLiteral("Adres"),   QStringLiteral("Wynik"),
                                QStringLiteral("Wiersze"), QStringLiteral("Próby"),
                                QStringLiteral("Czas")};
        QList<QStringList> rows;
        for (const int i : qAsConst(missing)) {
            const PrinterResult &r = results.at(i);
            rows.append({QString::number(i + 1), r.name.left(32), addressOf(r),
                         outcomeText(r.outcome, r.rowsSent, r.rows),
                         QStringLiteral("%1 z %2").arg(r.rowsSent).arg(r.rows),
                         QString::number(r.attempts), seconds(r.seconds)});
        }
        QVector<int> widths(heads.size());
        for (int c = 0; c < heads.size(); ++c) {
            widths[c] = heads.at(c).size();
            for (const QStringList &row : qAsConst(rows))
                widths[c] = qMax(widths.at(c), row.at(c).size());
        }
        auto tableLine = [&](const QStringList &cells) {
            QString line;
            for (int c = 0; c < cells.size(); ++c)
                line += (c ? QStringLiteral("  ") : QString()) +
                        (c + 1 < cells.size() ? padded(cells.at(c), widths.at(c)) : cells.at(c));
            return line + QLatin1Char('\n');
        };
        out += QStringLiteral("\nNiezaprogramowane (%1):\n").arg(missing.size());
        out += tableLine(heads);
        for (const QStringList &row : qAsConst(rows))
            out += tableLine(row);
    }
    out +=
        QStringLiteral("\n%1; czas %2.\n").arg(counts.summary(), seconds(clock.elapsed() / 1000.0));
    if (interrupted)
        out += QStringLiteral("Przerwane przez Ctrl+C.\n");
    const QByteArray bytes = out.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), human);
    std::fflush(human);

    code = (counts.of(PrinterOutcome::Programmed) == results.size() && !interrupted) ? 0 : 1;
    QString reason;
    if (!command.report.isEmpty() &&
        !saveFileAtomically(command.report, formatReportCsv(results), &reason)) {
        const QString text =
            QStringLiteral("kelm-logo: nie zapisano raportu %1: %2; poprzedni plik raportu "
                           "(jeśli był) został bez zmian.\n")
                .arg(QDir::toNativeSeparators(command.report), reason);
        std::fputs(text.toUtf8().constData(), stderr);
        std::fflush(stderr);
        code = reportFailedCode;
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
                               .arg(endedCount)
                               .arg(total())
                               .arg(failedCount)
                               .arg(inFlight)
                               .arg(seconds(clock.elapsed() / 1000.0));
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
