// The dialog's report: every row's outcome, and the file it goes to.
#include "ui/progress/tcpprogressdialog.h"

#include "core/product.h"
#include "core/system/safefile.h"
#include "core/transfer/connection.h"
#include "core/transfer/failedretry.h"
#include "ui/messageboxnotifier.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QProgressBar>

QList<PrinterResult> TcpProgressDialog::results() const
{
    QList<PrinterResult> list;
    list.reserve(int(rows.size()));
    for (int i = 0; i < int(rows.size()); ++i) {
        const Row &row = rows[size_t(i)];
        PrinterResult result;
        PrinterAddress &where = result;
        where = row.printer;
        result.outcome = outcomeOf(row);
        result.rows = progressBars.at(i)->maximum();
        if (row.connection) {
            result.rowsSent = row.connection->rowsSent();
            result.seconds = row.connection->elapsedMs() / 1000.0;
        }
        result.attempts = row.attempts;
        if (result.outcome == PrinterOutcome::LocalError && retrier)
            result.cause = retrier->causeOf(row.connection);
        list.append(result);
    }
    return list;
}

bool TcpProgressDialog::saveReport(const QString &path)
{
    QString reason;
    if (saveFileAtomically(path, formatReportCsv(results()), &reason))
        return true;
    MessageBoxNotifier boxes(this);
    (notifier ? notifier : &boxes)
        ->critical(productName(), QStringLiteral("Nie zapisano raportu „%1”: %2.")
                                      .arg(QDir::toNativeSeparators(path), reason));
    return false;
}

void TcpProgressDialog::chooseReportFile()
{
    const QString suggested = QDir::current().filePath(
        QStringLiteral("raport-%1.csv")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmm"))));
    QFileDialog dialog(this, QStringLiteral("Zapisz raport"), suggested,
                       QStringLiteral("CSV (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    saveReport(dialog.selectedFiles().first());
}
