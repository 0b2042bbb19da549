#include "programs/kelm-logo/jsonlines.h"

#include "core/transfer/outcomecounts.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

} // namespace

QString printerAddress(const PrinterResult &r)
{
    if (r.port && r.address.contains(QLatin1Char(':')))
        return QStringLiteral("[%1]:%2").arg(r.address).arg(r.port);
    return r.port ? QStringLiteral("%1:%2").arg(r.address).arg(r.port)
                  : QStringLiteral("port szeregowy %1").arg(r.address);
}

QByteArray jsonLine(int number, const PrinterResult &r)
{
    const QString line =
        QStringLiteral("{\"printer\":%1,\"name\":%2,\"address\":%3,\"port\":%4,\"outcome\":%5,"
                       "\"rows_sent\":%6,\"rows\":%7,\"seconds\":%8,\"attempts\":%9}")
            .arg(number)
            // A printer without a name (--tcp) is named by where it listens.
            .arg(jsonString(r.name.isEmpty() && r.port ? printerAddress(r) : r.name),
                 jsonString(r.address))
            .arg(r.port)
            .arg(jsonString(outcomeKey(r.outcome)))
            .arg(r.rowsSent)
            .arg(r.rows)
            .arg(QString::number(r.seconds, 'f', 3))
            .arg(r.attempts);
    return line.toUtf8() + '\n';
}

QByteArray summaryLine(const OutcomeCounts &counts, int printers, int exitCode)
{
    QByteArray line = "{\"summary\":{\"printers\":" + QByteArray::number(printers);
    for (int o = int(PrinterOutcome::Programmed); o <= outcomeCount - 1; ++o) {
        if (PrinterOutcome(o) == PrinterOutcome::NotTakingPart)
            continue;
        line += ",\"" + outcomeKey(PrinterOutcome(o)).toLatin1() +
                "\":" + QByteArray::number(counts.of(PrinterOutcome(o)));
    }
    return line + ",\"exit_code\":" + QByteArray::number(exitCode) + "}}\n";
}
