// The TCP/IP printer table of the settings window: one row per printer entry
// and an empty last row, kept index-aligned with the working copy's lists.
#include "ui/settings/connectdialog.h"

#include "core/config/printercsv.h"
#include "core/notifier.h"
#include "core/product.h"
#include "core/transfer/printeraddress.h"
#include "ui/settings/connectdialogform.h"
#include "ui/settings/editshopdialog.h"
#include "ui/settings/quietfill.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <functional>

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

// What a fresh QStandardItem allows, editing in place included.
Qt::ItemFlags defaultItemFlags()
{
    static const Qt::ItemFlags flags = QStandardItem().flags();
    return flags;
}

const char *const stateTexts[] = {
    "Niepodłączona", "Wyszukiwanie hosta",  "Rozpoczęcie\npodłączania",
    "Podłączona",    "Przypisana do hosta", "Oczekuje na\nzamknięcie",
    "Błędny port"};

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
    refreshTimer = new QTimer(this);
    refreshTimer->setSingleShot(true);
    refreshTimer->setInterval(0);
    connect(refreshTimer, &QTimer::timeout, this, &ConnectDialog::refreshChangedRows);
    fillTable();
}

void ConnectDialog::fillTable()
{
    const LinkSettings &s = workSettings;
    const int entries =
        std::min({s.printerCount, int(s.printerNames.size()), int(s.printerIps.size()),
                  int(s.printerPorts.size()), int(s.printerSelected.size())});
    {
        QuietFill fill(printerModel, 0, entries);
        for (int i = 0; i < entries; ++i)
            putEntry(i, s.printerNames.at(i), s.printerIps.at(i), s.printerPorts.at(i),
                     s.printerSelected.at(i));
    }
    keepEmptyLastRow();
}

void ConnectDialog::keepEmptyLastRow()
{
    const int entries = workSettings.tcpSockets.size();
    if (printerModel->rowCount() < entries + 1)
        printerModel->setRowCount(entries + 1);
    fitColumns();
    fitRows();
}

void ConnectDialog::fitColumns()
{
    // What resizeColumnsToContents gives, measuring only the widest texts: the
    // view would lay out every cell, which with thousands of rows is the slowest
    // part of showing the table. Widths are estimated from the characters'
    // advances, then the few widest cells are measured as the view would.
    QTableView *view = ui->ipTableView;
    const QFontMetrics metrics = view->fontMetrics();
    QHash<QChar, int> advances;
    const auto estimate = [&](const QString &text) {
        int width = 0;
        for (const QChar c : text) {
            auto known = advances.constFind(c);
            if (known == advances.constEnd())
                known = advances.insert(c, metrics.horizontalAdvance(c));
            width += known.value();
        }
        return width;
    };
    const int grid = view->showGrid() ? 1 : 0;
    const int entries = std::min(int(workSettings.tcpSockets.size()), printerModel->rowCount() - 1);
    for (int column = 0; column < 4; ++column) {
        QList<QPair<int, int>> widest; // (estimate, row), the widest three
        for (int row = 0; row < entries; ++row) {
            const QStandardItem *item = printerModel->item(row, column);
            if (!item)
                continue;
            const int width = estimate(item->text());
            if (widest.size() == 3 && width <= widest.last().first)
                continue;
            widest.append({width, row});
            std::sort(widest.begin(), widest.end(), std::greater<QPair<int, int>>());
            if (widest.size() > 3)
                widest.removeLast();
        }
        int width = view->horizontalHeader()->sectionSizeHint(column);
        for (const auto &candidate : qAsConst(widest))
            width = std::max(
                width,
                view->sizeHintForIndex(printerModel->index(candidate.second, column)).width() +
                    grid);
        view->setColumnWidth(column, width);
    }
    // Wide enough for every state, so that a changing state never resizes it.
    int statusWidth = 0;
    for (const char *text : stateTexts) {
        for (const QString &line : QString::fromUtf8(text).split(QLatin1Char('\n')))
            statusWidth = std::max(statusWidth, metrics.horizontalAdvance(line));
    }
    statusWidth += 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 4;
    if (view->columnWidth(3) < statusWidth)
        view->setColumnWidth(3, statusWidth);
}

void ConnectDialog::fitRows()
{
    // Rows are as tall as their contents. A row's height depends only on how many
    // lines it shows, so each height is measured once; nearly all rows hold one
    // line, which becomes the default height (set first: setting it resizes
    // every row).
    QTableView *view = ui->ipTableView;
    const int entries = std::min(int(workSettings.tcpSockets.size()), printerModel->rowCount() - 1);
    if (!defaultRowHeightSet) {
        for (int row = 0; row < entries; ++row) {
            if (rowLines(row) == 1) {
                view->resizeRowToContents(row);
                rowHeightForLines.insert(1, view->rowHeight(row));
                view->verticalHeader()->setDefaultSectionSize(view->rowHeight(row));
                defaultRowHeightSet = true;
                break;
            }
        }
    }
    for (int row = 0; row < entries; ++row)
        fitRow(row);
    if (rowHeightForLines.contains(1))
        view->setRowHeight(entries, rowHeightForLines.value(1)); // the empty last row
    else
        view->resizeRowToContents(entries);
}

int ConnectDialog::rowLines(int row) const
{
    int lines = 1;
    for (int column = 0; column < 4; ++column) {
        if (const QStandardItem *item = printerModel->item(row, column))
            lines = std::max(lines, int(item->text().count(QLatin1Char('\n'))) + 1);
    }
    return lines;
}

void ConnectDialog::fitRow(int row)
{
    QTableView *view = ui->ipTableView;
    const int lines = rowLines(row);
    const auto known = rowHeightForLines.constFind(lines);
    if (known == rowHeightForLines.constEnd()) {
        view->resizeRowToContents(row);
        rowHeightForLines.insert(lines, view->rowHeight(row));
    } else if (view->rowHeight(row) != known.value()) {
        view->setRowHeight(row, known.value());
    }
}

void ConnectDialog::putEntry(int row, const QString &name, const QString &address,
                             const QString &port, bool ticked)
{
    printerModel->setItem(row, 0, nameItem(name, ticked));
    printerModel->setItem(row, 1, fixedItem(address));
    printerModel->setItem(row, 2, fixedItem(port));
    printerModel->setItem(row, 3, fixedItem(stateText(row)));
}

void ConnectDialog::setStatusCell(int row)
{
    // As a new item would: the state's text and the default flags.
    const QString text = stateText(row);
    QStandardItem *cell = printerModel->item(row, 3);
    if (!cell) {
        printerModel->setItem(row, 3, new QStandardItem(text));
        return;
    }
    if (cell->text() != text)
        cell->setText(text);
    if (cell->flags() != defaultItemFlags())
        cell->setFlags(defaultItemFlags());
}

QString ConnectDialog::stateText(int row) const
{
    if (row < 0 || row >= workSettings.tcpSockets.size())
        return {};
    // Such an entry is never connected: its port is the reason, not the line.
    if (!tcpPortOf(workSettings.printerPorts.value(row)))
        return QStringLiteral("Błędny port");
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
    // A socket's change sets its own status cell at once; anything else
    // (an added or edited entry) all of them. Row heights follow once the
    // event loop is through with the changes.
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (socket) {
        const int row = rowOf(socket);
        if (row < 0)
            return; // its entry is gone
        setStatusCell(row);
        changedSockets.insert(socket);
    } else {
        for (int i = 0; i < workSettings.tcpSockets.size(); ++i)
            setStatusCell(i);
        keepEmptyLastRow();
        return;
    }
    if (!refreshTimer->isActive())
        refreshTimer->start();
}

int ConnectDialog::rowOf(QTcpSocket *socket)
{
    if (rowsMoved) {
        rowOfSocket.clear();
        for (int i = 0; i < workSettings.tcpSockets.size(); ++i)
            rowOfSocket.insert(workSettings.tcpSockets.at(i), i);
        rowsMoved = false;
    }
    return rowOfSocket.value(socket, -1);
}

void ConnectDialog::refreshChangedRows()
{
    for (QTcpSocket *socket : qAsConst(changedSockets)) {
        const int row = rowOf(socket);
        if (row >= 0)
            fitRow(row);
    }
    changedSockets.clear();
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
    editor.setTakenAddresses(takenAddresses(-1));
    if (editor.exec() == 0)
        return;
    ui->pushButton->setEnabled(false);

    const int row = printerModel->rowCount() - 1;
    {
        QuietFill fill(printerModel, row, 1);
        printerModel->setItem(row, 0, nameItem(entry.at(0), false));
        printerModel->setItem(row, 1, fixedItem(entry.at(1)));
        printerModel->setItem(row, 2, fixedItem(entry.at(2)));
    }
    printerModel->setRowCount(row + 2);
    ui->ipTableView->resizeColumnsToContents();

    workSettings.printerIps.append(entry.at(1));
    workSettings.printerNames.append(entry.at(0));
    workSettings.printerPorts.append(entry.at(2));
    workSettings.printerSelected.append(false);
    auto *socket = new QTcpSocket;
    workSettings.tcpSockets.append(socket);
    newSockets.append(socket);
    rowsMoved = true;
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
    editor.setTakenAddresses(takenAddresses(row));
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
    rowsMoved = true;
}

QHash<QString, QString> ConnectDialog::takenAddresses(int exceptRow) const
{
    QHash<QString, QString> taken;
    const LinkSettings &s = workSettings;
    const int entries = std::min(s.printerIps.size(), s.printerPorts.size());
    for (int i = 0; i < entries; ++i) {
        if (i != exceptRow)
            taken.insert(printerAddressKey(s.printerIps.at(i), s.printerPorts.at(i)),
                         s.printerNames.value(i));
    }
    return taken;
}

void ConnectDialog::setAllTicks(bool ticked)
{
    ui->pushButton->setEnabled(false);
    const Qt::CheckState state = ticked ? Qt::Checked : Qt::Unchecked;
    for (int i = 0; i < workSettings.tcpSockets.size(); ++i) {
        if (QStandardItem *name = printerModel->item(i, 0))
            name->setCheckState(state);
    }
}

void ConnectDialog::on_tickAll_clicked()
{
    setAllTicks(true);
}

void ConnectDialog::on_untickAll_clicked()
{
    setAllTicks(false);
}
