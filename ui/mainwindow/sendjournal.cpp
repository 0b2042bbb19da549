// The journal beside the window's sends: each printer's end is written down, and
// a send that would go past a printer's daily write budget asks first.
#include "ui/mainwindow/mainwindow.h"

#include "core/notifier.h"
#include "core/product.h"
#include "core/transfer/printeraddress.h"

#include <QStringList>

Journal *MainWindow::sendJournal()
{
    // Read once, at the first send.
    if (!journal) {
        journal.reset(new Journal(Journal::defaultPath()));
        QString error;
        if (!journal->load(&error))
            notifier->critical(productName(), error);
    }
    return journal.get();
}

bool MainWindow::confirmWriteBudget()
{
    Journal *j = sendJournal();
    int over = 0;
    const LinkSettings &s = linkSettings;
    if (s.linkMode == 1) {
        over = j->writesInLastDay(s.comPortName, 0) >= dailyWriteBudget;
    } else if (s.linkMode == 2) {
        const int count = std::min({s.printerCount, int(s.printerSelected.size()),
                                    int(s.printerIps.size()), int(s.printerPorts.size())});
        for (int i = 0; i < count; ++i) {
            // An entry whose port names no printer is never sent to.
            const std::optional<quint16> port = tcpPortOf(s.printerPorts.at(i));
            over += s.printerSelected.at(i) && port &&
                    j->writesInLastDay(s.printerIps.at(i), *port) >= dailyWriteBudget;
        }
    }
    if (over == 0)
        return true;
    const QString text =
        QStringLiteral("Drukarki, do których w ciągu ostatnich 24 godzin zapisano logo już %1 "
                       "razy: %2. Ich pamięć jest przeznaczona do rzadkich zapisów.")
            .arg(dailyWriteBudget)
            .arg(over);
    return notifier->question(productName(), text,
                              {QStringLiteral("Wyślij mimo to"), QStringLiteral("Anuluj")}) == 0;
}

void MainWindow::journalEnd(const QString &name, const QString &address, quint16 port,
                            PrinterOutcome outcome, int rowsSent)
{
    PrinterResult r;
    r.name = name;
    r.address = address;
    r.port = port;
    r.outcome = outcome;
    r.rowsSent = rowsSent;
    r.rows = lineCount;
    QString error;
    // The printers do not fail for it; the operator hears of it once a send.
    if (!sendJournal()->append(r, sentFingerprint, &error) && !journalFailureTold) {
        journalFailureTold = true;
        notifier->critical(productName(), error);
    }
}
