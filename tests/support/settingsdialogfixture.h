#pragma once

#include "core/config/printercsv.h"
#include "core/config/settingsformat.h"
#include "core/transfer/connection.h"
#include "support/fullqueueprinter.h"
#include "support/modalanswerer.h"
#include "support/ptyprinter.h"
#include "support/windowfixture.h"
#include "ui/settings/connectdialog.h"
#include "ui/settings/editshopdialog.h"
#include "ui/startup.h"

#include <QFile>
#include <QPointer>
#include <QSerialPort>
#include <QStandardItemModel>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

// The settings dialog's state that no widget shows.
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

using Step = std::function<void(QWidget *)>;

template <typename W = QWidget> inline W *child(QWidget *top, const char *name)
{
    return top->findChild<W *>(QLatin1String(name));
}

// The link choice and the buttons: "COM TCP/IP checked, OK enabled, Połącz Rozłącz enabled".
inline Step expectButtons(const char *expected)
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
inline Step click(const char *name)
{
    return [name](QWidget *top) {
        auto *button = child<QAbstractButton>(top, name);
        QVERIFY2(button, name);
        QTimer::singleShot(0, button, &QAbstractButton::click);
    };
}

inline Step onDialog(std::function<void(ConnectDialogTester &)> check)
{
    return [check](QWidget *top) {
        auto *dialog = qobject_cast<ConnectDialog *>(top);
        QVERIFY2(dialog, qPrintable(top->objectName()));
        ConnectDialogTester t(*dialog);
        check(t);
    };
}

inline Step selectRow(int row)
{
    return onDialog([row](ConnectDialogTester &t) {
        child<QTableView>(&t.d, "ipTableView")->setCurrentIndex(t.model()->index(row, 1));
    });
}

inline Step editor(const QString &name, const QString &ip, const QString &port)
{
    return [=](QWidget *top) {
        QVERIFY2(qobject_cast<EditShopDialog *>(top), qPrintable(top->objectName()));
        child<QLineEdit>(top, "lineEdit")->setText(name);
        child<QLineEdit>(top, "lineEdit_2")->setText(ip);
        child<QLineEdit>(top, "lineEdit_3")->setText(port);
        QTimer::singleShot(0, child<QAbstractButton>(top, "pushButton"), &QAbstractButton::click);
    };
}

inline Step fileDialog(const QString &path)
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

inline QByteArray settingsFile()
{
    QFile file(QStringLiteral("settings.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline QByteArray printerLine(const QByteArray &ip, quint16 port, const QByteArray &name,
                              bool ticked)
{
    return "Drukarka:TCP:" + ip + ':' + QByteArray::number(port) + ':' + name + ':' +
           (ticked ? "1\n" : "0\n");
}

// A printer on 127.0.0.1 that never completes a connection.
struct StuckPrinter : FullQueuePrinter
{
    const quint16 port = FullQueuePrinter::port();
};

inline ComPort comPort(const PtyPair &pty)
{
    return {pty.slavePath().mid(5), pty.slavePath()}; // as the system names /dev/...
}

// A main window whose "&Ustawienia" is driven by a script of steps, with two
// serial ports on pseudo-terminals and printers on 127.0.0.1. A test class
// inherits it beside QObject and calls its setUp functions from its slots.
class SettingsDialogFixture : public WindowFixture
{
protected:
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

    void setUpCase()
    {
        configureApplication(*qApp);
        QVERIFY(ptyA.isValid() && ptyB.isValid());
        QVERIFY(printer.listen(QHostAddress::LocalHost));
        QVERIFY(stuckPrinter.port != 0);
    }
    void setUp()
    {
        openFolder();
        ports = {comPort(ptyA), comPort(ptyB)};
        startWindow();
    }
};
