// The settings window driven as the operator does: widgets found by object name,
// clicks, the nested printer editor, and the loop of the main window around it.
#include "ui/startup.h"
#include "ui/settings/connectdialog.h"
#include "ui/settings/editshopdialog.h"
#include "core/config/printercsv.h"
#include "core/config/settingsformat.h"
#include "support/modalanswerer.h"
#include "support/ptyprinter.h"
#include "support/windowfixture.h"
#include "core/transfer/connection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QSerialPort>
#include <QStandardItemModel>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class ConnectDialogTester
{
public:
    explicit ConnectDialogTester(ConnectDialog &dialog) : d(dialog) {}
    LinkSettings &work() { return d.workSettings; }
    int requestedAction() const { return d.requestedAction; }
    QStandardItemModel *model() { return d.printerModel; }
    QString cell(int row, int column) { return model()->index(row, column).data().toString(); }
    bool ticked(int row) { return model()->item(row, 0)->checkState() == Qt::Checked; }

    ConnectDialog &d;
};

namespace {

using Step = std::function<void(QWidget *)>;

template <typename W = QWidget> W *child(QWidget *top, const char *name)
{
    return top->findChild<W *>(QLatin1String(name));
}

// The link choice and the buttons: "COM TCP/IP checked, OK enabled, Połącz Rozłącz enabled".
Step expectButtons(const char *expected)
{
    return [expected](QWidget *top) {
        const auto bit = [](bool on) { return on ? '1' : '0'; };
        const QString seen = QStringLiteral("%1%2 %3 %4%5")
                                 .arg(bit(child<QRadioButton>(top, "radioButton")->isChecked()))
                                 .arg(bit(child<QRadioButton>(top, "radioButton_2")->isChecked()))
                                 .arg(bit(child(top, "pushButton")->isEnabled()))
                                 .arg(bit(child(top, "pushButton_3")->isEnabled()))
                                 .arg(bit(child(top, "pushButton_4")->isEnabled()));
        QCOMPARE(seen, QLatin1String(expected));
    };
}

// Queued, so that a nested editor's exec() runs from the event loop, where the
// answerer reaches it too.
Step click(const char *name)
{
    return [name](QWidget *top) {
        auto *button = child<QAbstractButton>(top, name);
        QVERIFY2(button, name);
        QTimer::singleShot(0, button, &QAbstractButton::click);
    };
}

Step onDialog(std::function<void(ConnectDialogTester &)> check)
{
    return [check](QWidget *top) {
        auto *dialog = qobject_cast<ConnectDialog *>(top);
        QVERIFY2(dialog, qPrintable(top->objectName()));
        ConnectDialogTester t(*dialog);
        check(t);
    };
}

Step selectRow(int row)
{
    return onDialog([row](ConnectDialogTester &t) {
        child<QTableView>(&t.d, "ipTableView")->setCurrentIndex(t.model()->index(row, 1));
    });
}

Step editor(const QString &name, const QString &ip, const QString &port)
{
    return [=](QWidget *top) {
        QVERIFY2(qobject_cast<EditShopDialog *>(top), qPrintable(top->objectName()));
        child<QLineEdit>(top, "lineEdit")->setText(name);
        child<QLineEdit>(top, "lineEdit_2")->setText(ip);
        child<QLineEdit>(top, "lineEdit_3")->setText(port);
        QTimer::singleShot(0, child<QAbstractButton>(top, "pushButton"), &QAbstractButton::click);
    };
}

Step fileDialog(const QString &path)
{
    return [path](QWidget *top) {
        auto *dialog = qobject_cast<QFileDialog *>(top);
        QVERIFY2(dialog, qPrintable(top->objectName()));
        // selectFile() leaves a focused file name field alone: the name is typed too.
        dialog->selectFile(path);
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept is protected
    };
}

QByteArray settingsFile()
{
    QFile file(QStringLiteral("settings.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray printerLine(const QByteArray &ip, quint16 port, const QByteArray &name, bool ticked)
{
    return "Drukarka:TCP:" + ip + ':' + QByteArray::number(port) + ':' + name + ':' +
           (ticked ? "1\n" : "0\n");
}

// A printer on 127.0.0.1 that never completes a connection: its queue of one
// is taken by a connection it never accepts, so the kernel drops the next ones.
struct StuckPrinter
{
    StuckPrinter()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0 &&
            ::listen(fd, 0) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        filler.connectToHost(QHostAddress::LocalHost, port);
    }
    ~StuckPrinter() { ::close(fd); }
    bool isValid() { return port != 0 && filler.waitForConnected(5000); }

    int fd = -1;
    quint16 port = 0;
    QTcpSocket filler;
};

ComPort comPort(const PtyPair &pty)
{
    return {pty.slavePath().mid(5), pty.slavePath()}; // as the system names /dev/...
}

} // namespace

class TstConnectDialog : public QObject, WindowFixture
{
    Q_OBJECT

    QList<ComPort> ports;
    PtyPair ptyA, ptyB;
    QTcpServer printer; // takes connections on 127.0.0.1 and never answers
    StuckPrinter stuckPrinter;
    QList<Step> steps;
    int stray = 0;

    LinkSettings &record() { return t->linkSettings(); }

    void startWindow(const QByteArray &file = {})
    {
        closeWindow();
        if (!file.isNull()) {
            QFile settings(QStringLiteral("settings.txt"));
            QVERIFY(settings.open(QIODevice::WriteOnly) && settings.write(file) == file.size());
        }
        openWindow();
        t->findComPorts() = [this] { return ports; };
    }

    // Runs "&Ustawienia" with each step answering the next modal widget shown.
    void runSettings(const QList<Step> &script)
    {
        steps = script;
        stray = 0;
        QPointer<QWidget> seen;
        ModalAnswerer answerer([this, &seen](QWidget *modal) {
            // A widget must be the active one on two ticks in a row: an editor's
            // "Ok" may end it in the same pass as this tick, before the code
            // around its exec() has run.
            if (seen != modal) {
                seen = modal;
                return;
            }
            if (steps.isEmpty()) {
                ++stray;
                if (auto *dialog = qobject_cast<QDialog *>(modal))
                    dialog->reject();
                return;
            }
            steps.takeFirst()(modal);
        });
        t->child<QAction>("settingsAction")->trigger();
        QCOMPARE(steps.size(), 0);
        QCOMPARE(stray, 0);
    }

    QByteArray tcpFile(const QByteArray &printers) { return "\nTCP\n" + printers + "COM::1\n"; }

private slots:
    void initTestCase()
    {
        configureApplication(*qApp);
        QVERIFY(ptyA.isValid() && ptyB.isValid());
        QVERIFY(printer.listen(QHostAddress::LocalHost));
        QVERIFY(stuckPrinter.isValid());
    }

    void init()
    {
        openFolder();
        ports = {comPort(ptyA), comPort(ptyB)};
        startWindow();
    }

    void cleanup() { closeFixture(); }

    // The form as laid out, and where opening points the serial port: at the
    // first port found, at the stored one only with the serial link, even when
    // the dialog is then cancelled.
    void opensPointingAtPorts()
    {
        const QString a = comPort(ptyA).portName, b = comPort(ptyB).portName;
        record().linkMode = 1;
        record().comPortName = b;
        runSettings({onDialog([&](ConnectDialogTester &d) {
                         QCOMPARE(d.d.windowTitle(), QStringLiteral("Ustawienia"));
                         // The window grew to the right for the table's new buttons,
                         // and the table takes what the window gets beyond that.
                         QCOMPARE(d.d.size(), QSize(740, 400));
                         QCOMPARE(d.d.minimumSize(), QSize(740, 400));
                         const auto places = [&] {
                             QStringList out;
                             for (const char *name : {"ipTableView", "frame_2", "pushButton_4",
                                                      "importShops", "untickAll"})
                                 out << QStringLiteral("%1 %2 %3 %4")
                                            .arg(child(&d.d, name)->x())
                                            .arg(child(&d.d, name)->y())
                                            .arg(child(&d.d, name)->width())
                                            .arg(child(&d.d, name)->height());
                             return out.join(QLatin1String(", "));
                         };
                         QCOMPARE(places(), "10 60 560 200, 10 80 580 270, 430 360 121 31, "
                                            "600 90 130 30, 600 220 130 30");
                         d.d.resize(900, 600);
                         QCOMPARE(places(), "10 60 720 400, 10 80 740 470, 430 560 121 31, "
                                            "760 90 130 30, 760 220 130 30");
                         d.d.resize(740, 400);
                         QWidget *w = child(&d.d, "deleteShop");
                         QCOMPARE(w->parent(), child(&d.d, "frame_2"));
                         QCOMPARE(qobject_cast<QPushButton *>(w)->text(), "Usuń drukarkę");
                         QStringList focusOrder; // the order of creation
                         for (w = child(&d.d, "comListBox"); focusOrder.size() < 8;
                              w = w->nextInFocusChain()) {
                             if (w->focusPolicy() != Qt::NoFocus && !w->objectName().isEmpty())
                                 focusOrder << w->objectName();
                         }
                         QCOMPARE(focusOrder.join(' '),
                                  "comListBox radioButton checkBox pushButton "
                                  "pushButton_2 radioButton_2 ipTableView newShop");
                         QCOMPARE(child<QComboBox>(&d.d, "comListBox")->currentText(), b);
                         QCOMPARE(d.model()->rowCount(), 1);
                     }),
                     expectButtons("10 1 00"), click("pushButton_2")});
        QCOMPARE(record().serialPort->portName(), b);
        QCOMPARE(record().comPortName, b);
        QCOMPARE(settingsFile(), "\nCOM\nCOM:" + b.toUtf8() + ":1\n");

        // A stored port that is not found, or another link: the first port stays.
        for (const QString &stored : {QStringLiteral("COM9"), b}) {
            record().linkMode = stored == b ? 0 : 1;
            record().comPortName = stored;
            runSettings({click("pushButton_2")});
            QCOMPARE(record().serialPort->portName(), a);
        }
    }

    // "OK" with "Otwórz port" unticked keeps the port closed and the link as it
    // was; ticked, it opens the port and asks every TCP/IP printer to disconnect.
    void okWithSerialLink()
    {
        startWindow(tcpFile(printerLine("127.0.0.1", printer.serverPort(), "Kasa", true)));
        QTRY_COMPARE(record().tcpSockets.at(0)->state(), QAbstractSocket::ConnectedState);
        // No link yet: the list checks "Połączenie COM" by itself.
        record().linkMode = 0;
        record().comPortName = QStringLiteral("COM9"); // not among those found
        runSettings({click("checkBox"), click("pushButton")});
        QVERIFY(!record().serialPort->isOpen() && !record().comPortOpen);
        QCOMPARE(record().linkMode, 0);
        QCOMPARE(record().comPortName, comPort(ptyA).portName);
        QVERIFY(!record().comPortChosen);
        QCOMPARE(record().tcpSockets.at(0)->state(), QAbstractSocket::ConnectedState);

        runSettings({click("checkBox"), click("pushButton")});
        QVERIFY(record().serialPort->isOpen() && record().comPortOpen);
        QCOMPARE(record().linkMode, 1);
        QTRY_COMPARE(record().tcpSockets.at(0)->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(settingsFile(), "\nCOM\n" +
                                     printerLine("127.0.0.1", printer.serverPort(), "Kasa", true) +
                                     "COM:" + comPort(ptyA).portName.toUtf8() + ":1\n");

        // A port that cannot be opened: no link, and the loop still ends.
        ports = {{QStringLiteral("ttyGone"), QStringLiteral("/dev/ttyGone")}};
        runSettings({click("radioButton"), click("pushButton")});
        KELM_EXPECT_NOTICE(notifier, Notice::Critical, "Kelm Graphics",
                           QStringLiteral("Nie można otworzyć portu COM"), Notice::Close);
        QCOMPARE(record().linkMode, 0);
        QVERIFY(!record().comPortOpen);
    }

    // No ports and no link: "Połącz" only records the request, and "Anuluj"
    // still opens the link and shows the dialog again.
    void connectRecordedThenCancelled()
    {
        ports.clear();
        runSettings({expectButtons("00 1 11"), click("pushButton_3"),
                     onDialog([](ConnectDialogTester &d) { QCOMPARE(d.requestedAction(), 1); }),
                     click("pushButton_2"),
                     onDialog([](ConnectDialogTester &d) { QCOMPARE(d.requestedAction(), 0); }),
                     click("pushButton_2")});
        for (int pass = 0; pass < 2; ++pass)
            KELM_EXPECT_NOTICE(notifier, Notice::Critical, "Kelm Graphics",
                               QStringLiteral("Brak dostępnych portów COM"), Notice::Close);
        QCOMPARE(settingsFile(), QByteArray("\nCOM\nCOM::1\n"));
    }

    // TCP/IP stored with ports present: "OK" applies at once. "Połącz" rebuilds
    // the sockets and the reopened dialog follows them; a deleted connected
    // printer is cut at once; "Rozłącz" drops the rest. The radio buttons switch
    // the buttons' states.
    void connectAndDisconnect()
    {
        startWindow(tcpFile(printerLine("127.0.0.1", printer.serverPort(), "Kasa 1", false) +
                            printerLine("127.0.0.1", printer.serverPort(), "Kasa 2", false)));
        runSettings({expectButtons("01 1 11"), click("pushButton")});
        QCOMPARE(record().linkMode, 2);
        QVERIFY(settingsFile().startsWith("\nTCP\n"));
        const QList<QTcpSocket *> loaded = record().tcpSockets;
        QTcpSocket *closingSocket = nullptr;
        runSettings({onDialog([](ConnectDialogTester &d) {
                         d.model()->item(0, 0)->setCheckState(Qt::Checked);
                     }),
                     click("pushButton_3"), onDialog([&](ConnectDialogTester &d) {
                         QVERIFY(!record().tcpSockets.contains(loaded.at(0)));
                         QVERIFY(d.ticked(0) && !d.ticked(1));
                         QTRY_COMPARE(d.cell(0, 3), QStringLiteral("Podłączona"));
                         QCOMPARE(d.cell(1, 3), QStringLiteral("Niepodłączona"));
                         // The unticked printer's socket is wired as well: it shows two lines.
                         auto *socket = d.work().tcpSockets.at(1);
                         socket->connectToHost(QHostAddress::LocalHost, stuckPrinter.port);
                         QCOMPARE(d.cell(1, 3), QStringLiteral("Rozpoczęcie\npodłączania"));
                         auto *view = child<QTableView>(&d.d, "ipTableView");
                         const int twoLines = 2 * view->fontMetrics().lineSpacing();
                         QTRY_VERIFY(view->rowHeight(1) >= twoLines);
                         socket->abort();
                         socket->connectToHost(QHostAddress::LocalHost, printer.serverPort());
                         QTRY_COMPARE(d.cell(1, 3), QStringLiteral("Podłączona"));
                         QTRY_VERIFY(view->rowHeight(1) < twoLines);
                         closingSocket = d.work().tcpSockets.at(0);
                     }),
                     selectRow(0), click("deleteShop"), onDialog([&](ConnectDialogTester &d) {
                         QCOMPARE(closingSocket->state(), QAbstractSocket::UnconnectedState);
                         QCOMPARE(d.model()->rowCount(), 2);
                         QCOMPARE(d.cell(0, 0), QStringLiteral("Kasa 2"));
                     }),
                     click("pushButton_2")});
        // Cancelled: the entry stays, cut.
        QCOMPARE(record().tcpSockets.size(), 2);
        QCOMPARE(record().tcpSockets.at(0), closingSocket);
        QCOMPARE(record().printerSelected, QList<bool>({true, false}));
        QCOMPARE(t->child<QLabel>("statusLabel")->styleSheet(), QStringLiteral("color: green"));

        runSettings({click("pushButton_4"), onDialog([](ConnectDialogTester &d) {
                         QTRY_COMPARE(d.cell(1, 3), QStringLiteral("Niepodłączona"));
                     }),
                     click("pushButton_2")});
        QCOMPARE(t->child<QLabel>("statusLabel")->text(), QStringLiteral("Drukarka niepodłączona"));
        QCOMPARE(record().linkMode, 2);

        runSettings({click("radioButton"), expectButtons("10 1 00"), click("radioButton_2"),
                     expectButtons("01 0 11"), click("pushButton_2")});
        QCOMPARE(record().linkMode, 2);
        QCOMPARE(record().chosenLinkMode, 0);
    }

    // Add, edit and delete in the table; what reaches the main window only
    // through an applying button, and what "Anuluj" leaves untouched.
    void tableOperations()
    {
        startWindow(tcpFile(printerLine("127.0.0.2", 1, "A", false) +
                            printerLine("127.0.0.3", 2, "B", true) +
                            printerLine("127.0.0.4", 3, "C", false)));
        QTRY_COMPARE(record().tcpSockets.at(1)->state(), QAbstractSocket::UnconnectedState);
        notifier.notices.clear(); // nothing listens on 127.0.0.3:2
        const LinkSettings before = record();
        QPointer<QTcpSocket> added;
        runSettings({click("newShop"), editor("D", "10.0.0.1", "9100"),
                     onDialog([&](ConnectDialogTester &d) {
                         QVERIFY(!child(&d.d, "pushButton")->isEnabled());
                         QCOMPARE(d.model()->rowCount(), 5);
                         QCOMPARE(d.cell(3, 0) + d.cell(3, 1) + d.cell(3, 2) + d.cell(3, 3),
                                  QStringLiteral("D10.0.0.19100Niepodłączona"));
                         QVERIFY(!d.ticked(3) && !d.model()->item(4, 0));
                         added = d.work().tcpSockets.at(3);
                     }),
                     selectRow(1), click("editShop"),
                     [](QWidget *top) {
                         QCOMPARE(top->windowTitle(), QStringLiteral("Dodaj drukarkę"));
                         QCOMPARE(child<QLineEdit>(top, "lineEdit_2")->text(), "127.0.0.3");
                     },
                     editor("B2", "127.0.0.5", "7"), selectRow(4), click("deleteShop"),
                     click("editShop"),
                     onDialog([](ConnectDialogTester &d) { QCOMPARE(d.model()->rowCount(), 5); }),
                     click("checkBox"), click("pushButton_2")});
        QVERIFY(!added);
        QCOMPARE(record().printerNames, before.printerNames);
        QCOMPARE(record().printerIps, before.printerIps);
        QCOMPARE(record().tcpSockets, before.tcpSockets);
        QCOMPARE(record().comPortChosen, true);
        QVERIFY(settingsFile().contains("Drukarka:TCP:127.0.0.3:2:B:1\n"));

        // The same, applied by "Rozłącz", after deleting the first of three.
        QPointer<QTcpSocket> first = record().tcpSockets.at(0);
        runSettings({onDialog([](ConnectDialogTester &d) {
                         auto *view = child<QTableView>(&d.d, "ipTableView");
                         QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                                           view->visualRect(d.model()->index(2, 1)).center());
                     }),
                     expectButtons("01 0 11"), selectRow(0), click("deleteShop"),
                     onDialog([&](ConnectDialogTester &d) {
                         QCOMPARE(d.cell(0, 0) + d.cell(1, 0), "BC");
                         QVERIFY(d.ticked(0) && !d.ticked(1));
                         QCOMPARE(d.work().tcpSockets, before.tcpSockets.mid(1));
                         QCOMPARE(d.work().printerPorts, QStringList({"2", "3"}));
                     }),
                     selectRow(0), click("editShop"), editor("B2", "127.0.0.5", "7"),
                     onDialog([](ConnectDialogTester &d) {
                         QVERIFY(d.ticked(0));
                         d.model()->item(1, 0)->setCheckState(Qt::Checked);
                         QCOMPARE(d.work().printerSelected, QList<bool>({true, false}));
                     }),
                     click("pushButton_4"), click("pushButton_2")});
        QCOMPARE(record().printerNames, QStringList({"B2", "C"}));
        QCOMPARE(record().printerIps, QStringList({"127.0.0.5", "127.0.0.4"}));
        QCOMPARE(record().printerSelected, QList<bool>({true, true}));
        QCOMPARE(record().tcpSockets, before.tcpSockets.mid(1));
        QCOMPARE(record().printerCount, 2);
        // Its connection still holds the deleted entry's socket until the rebuild.
        QVERIFY(first);
        QVERIFY(t->connections().size() == 3 && t->connections().at(0)->tcpSocket() == first);
        runSettings({onDialog([](ConnectDialogTester &d) {
                         for (int row = 0; row < 2; ++row)
                             d.model()->item(row, 0)->setCheckState(Qt::Unchecked);
                     }),
                     click("pushButton_3"), click("pushButton_2")});
        QTRY_VERIFY(!first);
    }

    // The editor's checks, in their order, and the refusal of ":", which
    // settings.txt cannot hold in a field.
    void editorChecks_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::addColumn<QString>("detail");
        const QString ip = QStringLiteral("Błędny adres IP");
        const QString port = QStringLiteral("Błędny numer portu (większy niż 65536)");
        const QString colon = QStringLiteral("Dwukropek rozdziela pola w pliku settings.txt.");
        const auto row = [](const char *name, QStringList fields, QString refusal = {},
                            QString detail = {}) {
            QTest::newRow(name) << fields << refusal << detail;
        };
        row("plain", {"Kasa Łódź", "10.0.0.1", "9100"});
        row("part over 255", {"K", "10.0.0.256", "1"}, ip);
        row("single part 300", {"K", "300", "1"}, ip);
        row("part too long for a number", {"K", "1.99999999999", "1"}, ip);
        for (const char *accepted : {"abc", "1.2.3", "1..2", "", "-1.2.3.4"})
            row(accepted, {"K", accepted, "1"});
        row("port 65535", {"K", "1.2.3.4", "65535"});
        row("port 65536", {"K", "1.2.3.4", "65536"}, port);
        row("port too long for a number", {"K", "1.2.3.4", "99999999999"}, port);
        for (const char *accepted : {"", "-5", "80a"})
            row(qPrintable(QStringLiteral("port '%1'").arg(accepted)), {"K", "1.2.3.4", accepted});
        row("address and port wrong: the address", {"K", "10.0.0.256", "70000"}, ip);
        row("colon in name", {"Kasa:1", "1.2.3.4", "1"},
            QStringLiteral("Pole „Nazwa drukarki” zawiera niedozwolony znak „:”."), colon);
        row("colon in address", {"K", "10.0.0.1:9100", "1"},
            QStringLiteral("Pole „Adres IP” zawiera niedozwolony znak „:”."), colon);
        row("colon in all three", {":", ":", ":"},
            QStringLiteral("Pola „Nazwa drukarki”, „Adres IP” i „Numer Portu TCP” zawierają "
                           "niedozwolony znak „:”."),
            colon);
        row("bad address, colon in name", {"Ka:sa", "10.0.0.256", "1"}, ip);
        const QString control = QStringLiteral(
            "Podział wiersza ani inny znak sterujący nie może być częścią wpisu: rozdzieliłby "
            "jego wiersz w pliku settings.txt.");
        row("line feed in name", {"Kasa\nCOM", "1.2.3.4", "1"},
            QStringLiteral("Pole „Nazwa drukarki” zawiera niedozwolony znak sterujący."), control);
        row("carriage return in address", {"K", "1.2.3.4\r", "1"},
            QStringLiteral("Pole „Adres IP” zawiera niedozwolony znak sterujący."), control);
        row("tab in port", {"K", "1.2.3.4", "91\t00"},
            QStringLiteral("Pole „Numer Portu TCP” zawiera niedozwolony znak sterujący."), control);
        row("colon before control", {"K\n", "1.2.3.4", "1:"},
            QStringLiteral("Pole „Numer Portu TCP” zawiera niedozwolony znak „:”."), colon);
    }

    void editorChecks()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, refusal);
        QFETCH(QString, detail);
        QStringList entry = {"two", "strings"};
        EditShopDialog dialog(QStringLiteral("Dodaj drukarkę"), &entry, &notifier);
        QCOMPARE(dialog.size(), QSize(332, 192));
        QCOMPARE(child<QLineEdit>(&dialog, "lineEdit")->text(), QString());
        dialog.show();
        const char *edits[] = {"lineEdit", "lineEdit_2", "lineEdit_3"};
        for (int i = 0; i < 3; ++i)
            child<QLineEdit>(&dialog, edits[i])->setText(fields.at(i));
        child<QAbstractButton>(&dialog, "pushButton")->click();
        if (refusal.isEmpty()) {
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(entry, fields);
            return;
        }
        KELM_EXPECT_NOTICE(notifier, Notice::Critical, "Kelm Graphics", refusal, Notice::Close,
                           detail);
        QVERIFY(dialog.isVisible());
        QCOMPARE(entry, QStringList({"two", "strings"}));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(child<QLineEdit>(&dialog, edits[i])->text(), fields.at(i));
        child<QAbstractButton>(&dialog, "pushButton_2")->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(entry, QStringList({"two", "strings"}));
    }

    // Another entry's address and port: the editor asks, and saves only when told to.
    void editorWarnsOfSamePrinter()
    {
        QStringList entry;
        EditShopDialog dialog(QStringLiteral("Dodaj drukarkę"), &entry, &notifier);
        dialog.setTakenAddresses({{printerAddressKey("10.0.0.1", "9100"), "Kasa 1"}});
        dialog.show();
        child<QLineEdit>(&dialog, "lineEdit")->setText("Kasa 2");
        child<QLineEdit>(&dialog, "lineEdit_2")->setText("10.0.0.1");
        child<QLineEdit>(&dialog, "lineEdit_3")->setText("09100");
        notifier.answers = {1, 0};
        for (const bool saved : {false, true}) {
            child<QAbstractButton>(&dialog, "pushButton")->click();
            KELM_EXPECT_NOTICE(
                notifier, Notice::Question, "Kelm Graphics",
                QStringLiteral("Adres 10.0.0.1 i port 09100 ma już drukarka „Kasa 1”."),
                Notice::Close,
                QStringLiteral(
                    "Dwa wpisy tej samej drukarki wysłałyby do niej logo dwa razy naraz."),
                {QStringLiteral("Zapisz mimo to"), QStringLiteral("Popraw")});
            QCOMPARE(dialog.isVisible(), !saved);
            QCOMPARE(entry, saved ? QStringList({"Kasa 2", "10.0.0.1", "09100"}) : QStringList());
        }
    }

    // "Rozłącz" stops a printer that is still connecting, so that it cannot
    // connect afterwards and be programmed by the next send.
    void disconnectStopsConnecting()
    {
        startWindow(tcpFile(printerLine("127.0.0.1", stuckPrinter.port, "Kasa", true)));
        QTcpSocket *socket = record().tcpSockets.at(0);
        QCOMPARE(socket->state(), QAbstractSocket::ConnectingState);
        runSettings({click("pushButton_4"), onDialog([&](ConnectDialogTester &d) {
                         QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
                         QCOMPARE(d.cell(0, 3), QStringLiteral("Niepodłączona"));
                     }),
                     click("pushButton_2")});
    }

    // Import adds to the table or replaces it, skipping refused lines and the
    // printers already there, with one box at the end; an export imports back
    // as the same table; the ticks all at once.
    void importAndExport()
    {
        startWindow(tcpFile(printerLine("127.0.0.1", printer.serverPort(), "Kasa 1", true) +
                            printerLine("127.0.0.2", 9100, "Kasa 2", false)));
        QTcpSocket *connected = record().tcpSockets.at(0);
        QTRY_COMPARE(connected->state(), QAbstractSocket::ConnectedState);
        const QString imported = folder->filePath(QStringLiteral("import.csv"));
        const QString exported = folder->filePath(QStringLiteral("eksport.csv"));
        {
            QFile file(imported);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("Nazwa;Adres;Port\r\nSklep \xC5\x81\xC3\xB3\x64\xC5\xBA;10.0.0.1;9100\r\n"
                       "Duplikat;127.0.0.2;9100\r\nZ\xC5\x82y;10.0.0.300;9100\r\n"
                       "Sklep 2;10.0.0.2;9100;0\r\n");
        }
        const auto table = [](ConnectDialogTester &d) {
            QStringList rows;
            for (int row = 0; row + 1 < d.model()->rowCount(); ++row)
                rows << QStringLiteral("%1|%2|%3|%4")
                            .arg(d.cell(row, 0), d.cell(row, 1), d.cell(row, 2))
                            .arg(int(d.ticked(row)));
            return rows;
        };
        const QString title = QStringLiteral("Kelm Graphics");
        const auto question = [&](const char *file, int inFile, int inTable) {
            return Notice{
                Notice::Question,
                title,
                QStringLiteral("Dodać drukarki z pliku „%1” do tabeli czy zastąpić "
                               "nimi tabelę?")
                    .arg(file),
                Notice::Close,
                QStringLiteral("Poprawnych wpisów w pliku: %1, drukarek w tabeli: %2.")
                    .arg(inFile)
                    .arg(inTable),
                {QStringLiteral("Dodaj"), QStringLiteral("Zastąp"), QStringLiteral("Anuluj")}};
        };
        const QStringList added = {
            "Kasa 1|127.0.0.1|" + QString::number(printer.serverPort()) + "|1",
            "Kasa 2|127.0.0.2|9100|0", QStringLiteral("Sklep Łódź|10.0.0.1|9100|1"),
            "Sklep 2|10.0.0.2|9100|0"};
        notifier.answers = {0, 1, 1};
        runSettings(
            {click("importShops"), fileDialog(imported), onDialog([&](ConnectDialogTester &d) {
                 KELM_EXPECT_NOTICE(notifier, question("import.csv", 3, 2));
                 KELM_EXPECT_NOTICE(
                     notifier, Notice::Critical, title,
                     QStringLiteral("Zaimportowano drukarki z pliku „import.csv”: 2. Pominięte "
                                    "wiersze: 2."),
                     Notice::Close,
                     QStringLiteral("Wiersz 3: Ten adres i port ma już w tabeli drukarka „Kasa 2”\n"
                                    "Wiersz 4: Błędny adres IP"));
                 QCOMPARE(table(d), added);
                 QCOMPARE(d.cell(3, 3), QStringLiteral("Niepodłączona"));
                 QVERIFY(!child(&d.d, "pushButton")->isEnabled());
             }),
             click("exportShops"), fileDialog(exported), onDialog([&](ConnectDialogTester &) {
                 KELM_EXPECT_NOTICE(
                     notifier, Notice::Information, title,
                     QStringLiteral("Wyeksportowano drukarki do pliku „eksport.csv”: 4."),
                     Notice::Ok, QDir::toNativeSeparators(exported));
             }),
             click("importShops"), fileDialog(imported), onDialog([&](ConnectDialogTester &d) {
                 KELM_EXPECT_NOTICE(notifier, question("import.csv", 3, 4));
                 KELM_EXPECT_NOTICE(notifier, Notice::Critical, title,
                                    QStringLiteral("Zaimportowano drukarki z pliku „import.csv”: "
                                                   "3. Pominięte wiersze: 1."),
                                    Notice::Close, QStringLiteral("Wiersz 4: Błędny adres IP"));
                 QCOMPARE(table(d),
                          QStringList({QStringLiteral("Sklep Łódź|10.0.0.1|9100|1"),
                                       "Duplikat|127.0.0.2|9100|1", "Sklep 2|10.0.0.2|9100|0"}));
                 // Replaced as if deleted: cut at once, kept for the main window's lists.
                 QCOMPARE(connected->state(), QAbstractSocket::UnconnectedState);
             }),
             click("importShops"), fileDialog(exported), onDialog([&](ConnectDialogTester &d) {
                 KELM_EXPECT_NOTICE(notifier, question("eksport.csv", 4, 3));
                 KELM_EXPECT_NOTICE(
                     notifier, Notice::Information, title,
                     QStringLiteral("Zaimportowano drukarki z pliku „eksport.csv”: 4."),
                     Notice::Ok);
                 QCOMPARE(table(d), added);
             }),
             click("untickAll"), onDialog([&](ConnectDialogTester &d) {
                 for (int row = 0; row < 4; ++row)
                     QVERIFY(!d.ticked(row));
             }),
             click("tickAll"), click("pushButton_4"), click("pushButton_2")});
        QCOMPARE(record().printerNames,
                 QStringList({"Kasa 1", "Kasa 2", QStringLiteral("Sklep Łódź"), "Sklep 2"}));
        QCOMPARE(record().printerPorts,
                 QStringList({QString::number(printer.serverPort()), "9100", "9100", "9100"}));
        QCOMPARE(record().printerSelected, QList<bool>({true, true, true, true}));
        QCOMPARE(record().printerCount, 4);
    }

    // Everything the operator sets in the dialog comes back after a restart.
    void survivesRestart_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<bool>("openPort");
        QTest::newRow("TCP/IP printers") << false << true;
        QTest::newRow("serial port opened") << true << true;
        QTest::newRow("serial port not to be opened") << true << false;
    }

    void survivesRestart()
    {
        QFETCH(bool, serial);
        QFETCH(bool, openPort);
        const QString port = QString::number(printer.serverPort());
        QList<Step> script = {click("newShop"), editor("Kasa Łódź", "127.0.0.1", port),
                              click("newShop"), editor("Kasa 2", "127.0.0.2", "9100"),
                              onDialog([](ConnectDialogTester &d) {
                                  d.model()->item(0, 0)->setCheckState(Qt::Checked);
                              })};
        if (!openPort)
            script << click("checkBox");
        if (serial)
            script << click("radioButton") << click("pushButton");
        else
            script << click("radioButton_2") << click("pushButton_4") << click("pushButton_2");
        ports = {comPort(ptyB)};
        runSettings(script);
        const LinkSettings set = record();
        QCOMPARE(set.linkMode, serial ? 1 : 2);

        startWindow();
        QCOMPARE(record().linkMode, set.linkMode);
        QCOMPARE(record().printerNames, QStringList({"Kasa Łódź", "Kasa 2"}));
        QCOMPARE(record().printerIps, set.printerIps);
        QCOMPARE(record().printerPorts, QStringList({port, "9100"}));
        QCOMPARE(record().printerSelected, QList<bool>({true, false}));
        QCOMPARE(record().comPortName, comPort(ptyB).portName);
        QCOMPARE(record().comPortChosen, openPort);
        QCOMPARE(record().comPortOpen, serial && openPort);
        if (!serial)
            QTRY_COMPARE(record().tcpSockets.at(0)->state(), QAbstractSocket::ConnectedState);
    }

    // Sockets added, kept, deleted and rebuilt over many passes; the sanitizer
    // run's leak check says whether any is lost.
    void manyPasses()
    {
        for (int i = 0; i < 15; ++i) {
            const QString name = QString::number(i);
            runSettings({click("newShop"), editor(name, "127.0.0.2", "9"), click("pushButton_2")});
            runSettings({click("newShop"), editor(name, "127.0.0.2", "9"), click("radioButton_2"),
                         click("pushButton_4"), selectRow(0), click("deleteShop"),
                         click("pushButton_3"), click("pushButton_2")});
            QCOMPARE(record().printerCount, 0);
            QCOMPARE(t->connections().size(), 0);
        }
        runSettings({click("newShop"), editor("x", "127.0.0.2", "9"), click("radioButton_2"),
                     click("pushButton_4"), click("pushButton_2")});
        QCOMPARE(record().printerCount, 1);
    }
};

QTEST_MAIN(TstConnectDialog)
#include "tst_connectdialog.moc"
