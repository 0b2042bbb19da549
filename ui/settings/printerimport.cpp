// The printer table's import from and export to a file of printers.
#include "ui/settings/connectdialog.h"

#include "core/config/printercsv.h"
#include "core/notifier.h"
#include "core/product.h"
#include "core/system/safefile.h"
#include "ui/settings/connectdialogform.h"
#include "ui/settings/quietfill.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardItemModel>
#include <QTcpSocket>

#include <algorithm>

namespace {

// The longest list of refused lines a box shows in full; the rest is behind
// its details.
constexpr int problemsShown = 12;

} // namespace

void ConnectDialog::appendEntries(const QList<PrinterEntry> &entries)
{
    if (entries.isEmpty())
        return;
    // In one step before the empty last row: row by row, every insertion would
    // move all the rows below it in the view.
    const int first = workSettings.tcpSockets.size();
    printerModel->insertRows(first, entries.size());
    QuietFill fill(printerModel, first, entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        const PrinterEntry &entry = entries.at(i);
        workSettings.printerIps.append(entry.address);
        workSettings.printerNames.append(entry.name);
        workSettings.printerPorts.append(entry.port);
        workSettings.printerSelected.append(entry.selected);
        auto *socket = new QTcpSocket;
        workSettings.tcpSockets.append(socket);
        newSockets.append(socket);
        putEntry(first + i, entry.name, entry.address, entry.port, entry.selected);
    }
    rowsMoved = true;
}

void ConnectDialog::removeAllEntries()
{
    // As deleting each one: a socket still connected or on its way is stopped,
    // and stays alive for whatever else still refers to it.
    for (QTcpSocket *socket : qAsConst(workSettings.tcpSockets)) {
        if (socket->state() != QAbstractSocket::UnconnectedState)
            socket->abort();
    }
    printerModel->removeRows(0, workSettings.tcpSockets.size());
    workSettings.printerIps.clear();
    workSettings.printerNames.clear();
    workSettings.printerPorts.clear();
    workSettings.printerSelected.clear();
    workSettings.tcpSockets.clear();
    rowsMoved = true;
}

QString ConnectDialog::chooseCsvFile(bool forSaving)
{
    QFileDialog dialog(
        this,
        forSaving ? QStringLiteral("Eksportuj drukarki") : QStringLiteral("Importuj drukarki"),
        QDir::currentPath(), QStringLiteral("Pliki CSV (*.csv);;Wszystkie pliki (*)"));
    if (forSaving) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        dialog.selectFile(QStringLiteral("drukarki.csv"));
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void ConnectDialog::on_importShops_clicked()
{
    const QString path = chooseCsvFile(false);
    if (!path.isEmpty())
        importPrinters(path);
}

void ConnectDialog::on_exportShops_clicked()
{
    const QString path = chooseCsvFile(true);
    if (!path.isEmpty())
        exportPrinters(path);
}

void ConnectDialog::importPrinters(const QString &path)
{
    const QString fileName = QFileInfo(path).fileName();
    // As settings.txt: only a regular file of a sane size.
    QByteArray content;
    QString reason;
    if (!readSmallFile(path, maxInputFileSize, &content, &reason)) {
        notifier->critical(productName(),
                           QStringLiteral("Nie można otworzyć pliku „%1”.").arg(fileName), reason);
        return;
    }
    const PrinterCsv csv = parsePrinterCsv(content);

    bool replace = false;
    if (!csv.entries.isEmpty() && !workSettings.tcpSockets.isEmpty()) {
        const int answer = notifier->question(
            productName(),
            QStringLiteral("Dodać drukarki z pliku „%1” do tabeli czy zastąpić nimi tabelę?")
                .arg(fileName),
            {QStringLiteral("Dodaj"), QStringLiteral("Zastąp"), QStringLiteral("Anuluj")},
            QStringLiteral("Poprawnych wpisów w pliku: %1, drukarek w tabeli: %2.")
                .arg(csv.entries.size())
                .arg(workSettings.tcpSockets.size()));
        if (answer != 0 && answer != 1)
            return;
        replace = answer == 1;
    }

    QList<CsvLineProblem> problems = csv.problems;
    QList<PrinterEntry> taken;
    if (replace) {
        taken = csv.entries;
    } else {
        const QHash<QString, QString> inTable = takenAddresses(-1);
        for (int i = 0; i < csv.entries.size(); ++i) {
            const PrinterEntry &entry = csv.entries.at(i);
            const auto there = inTable.constFind(printerAddressKey(entry.address, entry.port));
            if (there == inTable.constEnd()) {
                taken.append(entry);
                continue;
            }
            problems.append({csv.lines.value(i),
                             QStringLiteral("Ten adres i port ma już w tabeli drukarka „%1”")
                                 .arg(there.value())});
        }
    }

    if (replace || !taken.isEmpty()) {
        ui->pushButton->setEnabled(false);
        if (replace)
            removeAllEntries();
        appendEntries(taken);
        keepEmptyLastRow();
    }

    if (problems.isEmpty()) {
        notifier->information(productName(),
                              taken.isEmpty()
                                  ? QStringLiteral("Plik „%1” nie zawiera drukarek.").arg(fileName)
                                  : QStringLiteral("Zaimportowano drukarki z pliku „%1”: %2.")
                                        .arg(fileName)
                                        .arg(taken.size()));
        return;
    }
    std::stable_sort(
        problems.begin(), problems.end(),
        [](const CsvLineProblem &a, const CsvLineProblem &b) { return a.line < b.line; });
    QStringList lines;
    for (const CsvLineProblem &problem : qAsConst(problems))
        lines << QStringLiteral("Wiersz %1: %2").arg(problem.line).arg(problem.reason);
    QStringList shown = lines.mid(0, problemsShown);
    if (lines.size() > problemsShown)
        shown << QStringLiteral("… i %1 dalszych (Szczegóły).").arg(lines.size() - problemsShown);
    notifier->show(
        {Notice::Critical,
         productName(),
         QStringLiteral("Zaimportowano drukarki z pliku „%1”: %2. Pominięte wiersze: %3.")
             .arg(fileName)
             .arg(taken.size())
             .arg(lines.size()),
         Notice::Close,
         shown.join(QLatin1Char('\n')),
         {},
         lines.size() > problemsShown ? lines.join(QLatin1Char('\n')) : QString()});
}

bool ConnectDialog::exportPrinters(const QString &path)
{
    readTicks();
    const LinkSettings &s = workSettings;
    QList<PrinterEntry> entries;
    for (int i = 0; i < s.tcpSockets.size(); ++i)
        entries.append({s.printerNames.value(i), s.printerIps.value(i), s.printerPorts.value(i),
                        s.printerSelected.value(i)});
    QString reason;
    if (saveFileAtomically(path, formatPrinterCsv(entries), &reason)) {
        notifier->information(productName(),
                              QStringLiteral("Wyeksportowano drukarki do pliku „%1”: %2.")
                                  .arg(QFileInfo(path).fileName())
                                  .arg(entries.size()),
                              QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
        return true;
    }
    notifier->critical(productName(), QStringLiteral("Nie zapisano pliku „%1”: %2.")
                                          .arg(QFileInfo(path).fileName(), reason));
    return false;
}
