#include "core/transfer/printeroutcome.h"

#include "core/config/printercsv.h"

#include <QStringList>

#include <algorithm>

bool isFailure(PrinterOutcome o)
{
    switch (o) {
    case PrinterOutcome::Refused:
    case PrinterOutcome::HostNotFound:
    case PrinterOutcome::HungUp:
    case PrinterOutcome::WriteError:
    case PrinterOutcome::NoAnswer:
    case PrinterOutcome::Stopped:
    case PrinterOutcome::LocalError:
    case PrinterOutcome::Unconfirmed:
        return true;
    default:
        return false;
    }
}

bool isSuccess(PrinterOutcome o)
{
    return o == PrinterOutcome::Programmed || o == PrinterOutcome::Unchanged ||
           o == PrinterOutcome::WouldProgram;
}

bool isRetryable(PrinterOutcome o)
{
    return isFailure(o) || o == PrinterOutcome::NotConnected;
}

bool hasEnded(PrinterOutcome o)
{
    return o != PrinterOutcome::Waiting && o != PrinterOutcome::Sending;
}

QString outcomeText(PrinterOutcome o, int rowsSent, int rows)
{
    // The row on the wire: one past those acknowledged, never past the last.
    const int atRow = std::max(1, std::min(rowsSent + 1, rows));
    switch (o) {
    case PrinterOutcome::Waiting:
        return QStringLiteral("oczekuje");
    case PrinterOutcome::Sending:
        return QStringLiteral("wiersz %1 z %2").arg(atRow).arg(rows);
    case PrinterOutcome::Programmed:
        return QStringLiteral("zaprogramowana");
    case PrinterOutcome::AlreadyProgrammed:
        return QStringLiteral("już zaprogramowana");
    case PrinterOutcome::Refused:
        return QStringLiteral("połączenie odrzucone");
    case PrinterOutcome::HostNotFound:
        return QStringLiteral("nie znaleziono hosta");
    case PrinterOutcome::HungUp:
        return QStringLiteral("rozłączona w wierszu %1").arg(atRow);
    case PrinterOutcome::WriteError:
        return QStringLiteral("błąd zapisu");
    case PrinterOutcome::NoAnswer:
        return QStringLiteral("brak odpowiedzi");
    case PrinterOutcome::Stopped:
        return QStringLiteral("przerwana");
    case PrinterOutcome::NotTakingPart:
        return QStringLiteral("nie bierze udziału");
    case PrinterOutcome::NotConnected:
        return QStringLiteral("niepodłączona");
    case PrinterOutcome::Unchanged:
        return QStringLiteral("bez zmian");
    case PrinterOutcome::WouldProgram:
        return QStringLiteral("do zaprogramowania");
    case PrinterOutcome::WriteLimit:
        return QStringLiteral("limit zapisów");
    case PrinterOutcome::LocalError:
        return QStringLiteral("błąd lokalny");
    case PrinterOutcome::Unconfirmed:
        return QStringLiteral("niepotwierdzona");
    case PrinterOutcome::BadPort:
        return QStringLiteral("błędny port");
    }
    return QString();
}

QString outcomeKey(PrinterOutcome o)
{
    switch (o) {
    case PrinterOutcome::Waiting:
        return QStringLiteral("waiting");
    case PrinterOutcome::Sending:
        return QStringLiteral("sending");
    case PrinterOutcome::Programmed:
        return QStringLiteral("programmed");
    case PrinterOutcome::AlreadyProgrammed:
        return QStringLiteral("already_programmed");
    case PrinterOutcome::Refused:
        return QStringLiteral("refused");
    case PrinterOutcome::HostNotFound:
        return QStringLiteral("host_not_found");
    case PrinterOutcome::HungUp:
        return QStringLiteral("hung_up");
    case PrinterOutcome::WriteError:
        return QStringLiteral("write_error");
    case PrinterOutcome::NoAnswer:
        return QStringLiteral("no_answer");
    case PrinterOutcome::Stopped:
        return QStringLiteral("stopped");
    case PrinterOutcome::NotTakingPart:
        return QStringLiteral("not_taking_part");
    case PrinterOutcome::NotConnected:
        return QStringLiteral("not_connected");
    case PrinterOutcome::Unchanged:
        return QStringLiteral("unchanged");
    case PrinterOutcome::WouldProgram:
        return QStringLiteral("would_program");
    case PrinterOutcome::WriteLimit:
        return QStringLiteral("write_limit");
    case PrinterOutcome::LocalError:
        return QStringLiteral("local_error");
    case PrinterOutcome::Unconfirmed:
        return QStringLiteral("unconfirmed");
    case PrinterOutcome::BadPort:
        return QStringLiteral("bad_port");
    }
    return QString();
}

bool outcomeFromText(const QString &text, PrinterOutcome *o)
{
    const QString words = text.trimmed();
    // The longest match first: "zaprogramowana" ends "już zaprogramowana".
    int best = -1;
    int bestLength = 0;
    for (int i = int(PrinterOutcome::Programmed); i < outcomeCount; ++i) {
        QString stem = outcomeText(PrinterOutcome(i), 0, 1);
        if (PrinterOutcome(i) == PrinterOutcome::HungUp) // "rozłączona w wierszu r"
            stem.chop(1);
        const bool match = words == stem ||
                           (words.startsWith(stem) && (stem.endsWith(QLatin1Char(' ')) ||
                                                       words.at(stem.size()) == QLatin1Char(':')));
        if (match && stem.size() > bestLength) {
            best = i;
            bestLength = stem.size();
        }
    }
    if (best < 0)
        return false;
    *o = PrinterOutcome(best);
    return true;
}

QString resultText(const PrinterResult &r)
{
    const QString words = outcomeText(r.outcome, r.rowsSent, r.rows);
    return r.cause.isEmpty() ? words : words + QStringLiteral(": ") + r.cause;
}

QByteArray formatReportCsv(const QList<PrinterResult> &results)
{
    QByteArray out(csvByteOrderMark);
    out += csvLine(reportHeader());
    for (const PrinterResult &r : results) {
        // A decimal comma: the spreadsheet that reads ";" files reads it as a number.
        const QString seconds =
            QString::number(r.seconds, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','));
        out += csvLine({r.name, r.address, QString::number(r.port), resultText(r),
                        QStringLiteral("%1 z %2").arg(r.rowsSent).arg(r.rows), seconds});
    }
    return out;
}
