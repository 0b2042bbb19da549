#include "programs/kelm-logo/printerlist.h"

#include "programs/kelm-logo/commandline.h"
#include "core/config/printercsv.h"
#include "core/config/settingsformat.h"
#include "core/system/safefile.h"

#include <QHash>

#include <cerrno>

#include "core/system/filedescriptors.h"
#include "core/transfer/printeroutcome.h"

namespace {

struct Entry
{
    PrinterEntry entry;
    QString where; // "FILE, wiersz N" or "--tcp X"
};

QString lineAt(const QString &file, int line)
{
    return QStringLiteral("%1, wiersz %2").arg(file).arg(line);
}

// The entries of a settings.txt with the line each stands on.
QList<Entry> settingsEntries(const QString &file, const QByteArray &content)
{
    StoredSettings settings;
    parseSettings(content, settings);
    QList<Entry> entries;
    // The printer lines are the ones right after the link line (line 2).
    for (int i = 0; i < settings.printerCount(); ++i)
        entries.append({{settings.printerNames.at(i), settings.printerIps.at(i),
                         settings.printerPorts.at(i), settings.printerSelected.at(i)},
                        lineAt(file, i + 3)});
    return entries;
}

bool hasPrinterLine(const QByteArray &content)
{
    for (const QByteArray &line : content.split('\n'))
        if (line.startsWith(printerLinePrefix))
            return true;
    return false;
}

} // namespace

PrinterList readPrinters(const LogoCommand &command)
{
    PrinterList list;
    QList<Entry> entries;
    for (const QString &path : command.printerFiles) {
        // Only a regular file of a sane size: /dev/zero or a FIFO would never end.
        QByteArray content;
        QString reason;
        if (!readSmallFile(path, maxInputFileSize, &content, &reason)) {
            list.problems.append(
                QStringLiteral("%1: nie można odczytać pliku (%2)").arg(path, reason));
            continue;
        }
        if (hasPrinterLine(content)) {
            entries += settingsEntries(path, content);
        } else {
            const PrinterCsv csv = parsePrinterCsv(content, true);
            for (const CsvLineProblem &problem : csv.problems)
                list.problems.append(lineAt(path, problem.line) + QStringLiteral(": ") +
                                     problem.reason);
            if (command.onlyFailed && !csv.report)
                list.problems.append(
                    QStringLiteral("%1: --only-failed wymaga raportu (nagłówek %2)")
                        .arg(path, reportHeader().join(QLatin1Char(';'))));
            for (int i = 0; i < csv.entries.size(); ++i) {
                if (csv.report && command.onlyFailed) {
                    PrinterOutcome outcome;
                    if (!outcomeFromText(csv.results.value(i), &outcome)) {
                        list.problems.append(
                            lineAt(path, csv.lines.value(i)) +
                            QStringLiteral(": nieznany wynik „%1”").arg(csv.results.value(i)));
                        continue;
                    }
                    if (!isRetryable(outcome)) {
                        ++list.leftOut;
                        continue;
                    }
                }
                entries.append({csv.entries.at(i), lineAt(path, csv.lines.value(i))});
            }
            if (csv.entries.isEmpty() && csv.problems.isEmpty())
                list.problems.append(QStringLiteral("%1: brak drukarek w pliku").arg(path));
        }
    }
    for (const QString &tcp : command.tcp) {
        QString host;
        quint16 port = 0;
        splitHostPort(tcp, &host, &port);
        if (host.contains(QLatin1Char(':')))
            host = QStringLiteral("[%1]").arg(host);
        entries.append(
            {{QString(), host, QString::number(port), true}, QStringLiteral("--tcp %1").arg(tcp)});
    }

    QHash<QString, QString> seen; // address key -> where
    for (const Entry &e : qAsConst(entries)) {
        const PrinterEntry &p = e.entry;
        // An IPv6 address goes in brackets; its colons are its own.
        QString address = p.address.trimmed();
        const bool ipv6 = isBracketedIpv6(address, &address);
        QString problem = printerEntryProblem(p.name, ipv6 ? QString() : p.address, p.port);
        bool portOk = false;
        const uint port = p.port.trimmed().toUInt(&portOk);
        if (problem.isEmpty() && p.address.trimmed().isEmpty())
            problem = QStringLiteral("brak adresu");
        if (problem.isEmpty() && (!portOk || port == 0 || port > 65535))
            problem = QStringLiteral("port „%1” nie jest liczbą od 1 do 65535").arg(p.port);
        const QString key = printerAddressKey(p.address, p.port);
        if (problem.isEmpty() && seen.contains(key))
            problem = QStringLiteral("drukarka %1:%2 podana już wcześniej (%3)")
                          .arg(p.address.trimmed(), p.port.trimmed(), seen.value(key));
        if (!problem.isEmpty()) {
            list.problems.append(e.where + QStringLiteral(": ") + problem);
            continue;
        }
        seen.insert(key, e.where);
        if (!p.selected && !command.all) {
            ++list.unticked;
            continue;
        }
        list.targets.append({p.name, address, quint16(port)});
    }
    return list;
}
