// The TCP/IP printer table of the settings window: one row per printer entry
// and an empty last row, kept index-aligned with the working copy's lists.
#include "config/connectdialog.h"

#include "config/connectdialogform.h"
#include "config/editshopdialog.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTcpSocket>

namespace {

QStandardItem *fixedItem(const QString &text)
{
    auto *item = new QStandardItem(text);
    item->setEditable(false);
    return item;
}

QStandardItem *nameItem(const QString &name, bool ticked)
{
    QStandardItem *item = fixedItem(name);
    item->setCheckable(true);
    item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    return item;
}

} // namespace

void ConnectDialog::setUpPrinterTable()
{
    printerModel = new QStandardItemModel(workSettings.printerIps.size(), 4, this);
    printerModel->setHorizontalHeaderItem(0, new QStandardItem(QStringLiteral("Drukarka")));
    printerModel->setHorizontalHeaderItem(1, new QStandardItem(QStringLiteral("Adres TCP/IP")));
    printerModel->setHorizontalHeaderItem(2, new QStandardItem(QStringLiteral("Port TCP")));
    printerModel->setHorizontalHeaderItem(
        3, new QStandardItem(QCoreApplication::translate("ConnectDialog", "Status połączenia")));
    ui->ipTableView->setModel(printerModel);
    ui->ipTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->ipTableView->setSelectionMode(QAbstractItemView::SingleSelection);
    fillTable();
}

void ConnectDialog::fillTable()
{
    const LinkSettings &s = workSettings;
    const int entries =
        std::min({s.printerCount, int(s.printerNames.size()), int(s.printerIps.size()),
                  int(s.printerPorts.size()), int(s.printerSelected.size())});
    for (int i = 0; i < entries; ++i) {
        printerModel->setItem(i, 0, nameItem(s.printerNames.at(i), s.printerSelected.at(i)));
        printerModel->setItem(i, 1, fixedItem(s.printerIps.at(i)));
        printerModel->setItem(i, 2, fixedItem(s.printerPorts.at(i)));
        printerModel->setItem(i, 3, fixedItem(stateText(i)));
    }
    keepEmptyLastRow();
}

void ConnectDialog::keepEmptyLastRow()
{
    const int entries = workSettings.tcpSockets.size();
    if (printerModel->rowCount() < entries + 1)
        printerModel->setRowCount(entries + 1);
    ui->ipTableView->resizeColumnsToContents();
    // Two-line states ("Rozpoczęcie\npodłączania") need the taller rows.
    ui->ipTableView->resizeRowsToContents();
}

QString ConnectDialog::stateText(int row) const
{
    if (row < 0 || row >= workSettings.tcpSockets.size())
        return {};
    switch (workSettings.tcpSockets.at(row)->state()) {
    case QAbstractSocket::UnconnectedState:
        return QStringLiteral("Niepodłączona");
    case QAbstractSocket::HostLookupState:
        return QStringLiteral("Wyszukiwanie hosta");
    case QAbstractSocket::ConnectingState:
        return QStringLiteral("Rozpoczęcie\npodłączania");
    case QAbstractSocket::ConnectedState:
        return QStringLiteral("Podłączona");
    case QAbstractSocket::BoundState:
        return QStringLiteral("Przypisana do hosta");
    case QAbstractSocket::ClosingState:
        return QStringLiteral("Oczekuje na\nzamknięcie");
    default:
        return {};
    }
}

void ConnectDialog::updateTable()
{
    for (int i = 0; i < workSettings.tcpSockets.size(); ++i)
        printerModel->setItem(i, 3, new QStandardItem(stateText(i)));
    keepEmptyLastRow();
}

void ConnectDialog::readTicks()
{
    const int rows =
        std::min(printerModel->rowCount() - 1, int(workSettings.printerSelected.size()));
    for (int i = 0; i < rows; ++i) {
        const QStandardItem *name = printerModel->item(i, 0);
        workSettings.printerSelected[i] = name && int(name->checkState()) != 0;
    }
}

void ConnectDialog::on_ipTableView_clicked(QModelIndex)
{
    ui->pushButton->setEnabled(false);
}

int ConnectDialog::currentEntry() const
{
    const int row = ui->ipTableView->currentIndex().row();
    return row >= 0 && row < workSettings.tcpSockets.size() ? row : -1;
}

void ConnectDialog::on_newShop_clicked()
{
    QStringList entry;
    EditShopDialog editor(QStringLiteral("Dodaj drukarkę"), &entry, notifier);
    if (editor.exec() == 0)
        return;
    ui->pushButton->setEnabled(false);

    const int row = printerModel->rowCount() - 1;
    printerModel->setItem(row, 0, nameItem(entry.at(0), false));
    printerModel->setItem(row, 1, fixedItem(entry.at(1)));
    printerModel->setItem(row, 2, fixedItem(entry.at(2)));
    printerModel->setRowCount(row + 2);
    ui->ipTableView->resizeColumnsToContents();

    workSettings.printerIps.append(entry.at(1));
    workSettings.printerNames.append(entry.at(0));
    workSettings.printerPorts.append(entry.at(2));
    workSettings.printerSelected.append(false);
    auto *socket = new QTcpSocket;
    workSettings.tcpSockets.append(socket);
    newSockets.append(socket);
    updateTable();
}

void ConnectDialog::on_editShop_clicked()
{
    const int row = currentEntry();
    if (row < 0)
        return;
    QStringList entry;
    for (int column = 0; column < 3; ++column)
        entry << printerModel->index(row, column).data().toString();
    // The editor's title is the same as for adding.
    EditShopDialog editor(QStringLiteral("Dodaj drukarkę"), &entry, notifier);
    if (editor.exec() == 0)
        return;
    ui->pushButton->setEnabled(false);

    for (int column = 0; column < 3; ++column) {
        if (QStandardItem *item = printerModel->item(row, column))
            item->setText(entry.at(column));
    }
    workSettings.printerIps[row] = entry.at(1);
    workSettings.printerNames[row] = entry.at(0);
    workSettings.printerPorts[row] = entry.at(2);
    updateTable();
}

void ConnectDialog::on_deleteShop_clicked()
{
    const int row = currentEntry();
    if (row < 0)
        return;
    // A socket still on its way to the printer is stopped too: its entry is gone.
    QTcpSocket *socket = workSettings.tcpSockets.at(row);
    if (socket->state() != QAbstractSocket::UnconnectedState)
        socket->abort();
    ui->pushButton->setEnabled(false);

    printerModel->removeRow(row);
    workSettings.printerIps.removeAt(row);
    workSettings.printerNames.removeAt(row);
    workSettings.printerPorts.removeAt(row);
    workSettings.printerSelected.removeAt(row);
    workSettings.tcpSockets.removeAt(row);
}
