// A Connection against a printer listening on loopback: its stop-and-wait, its
// errors and its restart on a new connection; the progress dialog's rows.
#include "core/config/linksettings.h"
#include "core/printer/frame.h"
#include "core/transfer/connection.h"
#include "core/transfer/failedretry.h"
#include "support/logorows.h"
#include "support/loopbackprinter.h"
#include "support/notices.h"
#include "support/waits.h"
#include "ui/progress/tcpprogressdialog.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

// A Connection on a socket connected to its own printer.
struct Pair
{
    explicit Pair(Notifier &notifier, int lines)
        : connection(&socket, lines, &notifier), valueSpy(&connection, &Connection::value),
          finishedSpy(&connection, &Connection::finished)
    {
        connection.setPrinter(QStringLiteral("Kasa 1"), QStringLiteral("127.0.0.1"),
                              printer.port());
    }
    bool connected() { return printer.accept(&socket); }
    void send(const QByteArray *data, int lines, int first = 1)
    {
        connection.setCurrentLine(first);
        connection.setLineCount(lines);
        connection.setTransferData(data, buildFrameTemplate(LogoPlacement::Header));
        connection.sendLine();
    }
    void start(int lines) { send(&(hex = logoHexOf(lines)), lines); }
    QString detail() const
    {
        return QStringLiteral("Drukarka „Kasa 1”, 127.0.0.1:%1").arg(printer.port());
    }
    QList<int> values() const
    {
        QList<int> v;
        for (const QList<QVariant> &args : valueSpy)
            v.append(args.at(0).toInt());
        return v;
    }

    LoopbackPrinter printer;
    QTcpSocket socket;
    QByteArray hex;
    Connection connection;
    QSignalSpy valueSpy;
    QSignalSpy finishedSpy;
};

} // namespace

class TstTcp : public QObject, NotifierFixture
{
    Q_OBJECT

private slots:
    void init() { resetNotifier(); }
    void cleanup() { checkNotifier(); }

    // n frames, numbered, the last-row flag on the last only, value 1..n, one
    // finished(); every readyRead counts as one answer.
    void answers_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<QByteArray>("answer"); // to every frame
        QTest::addColumn<int>("frames");
        QTest::addColumn<bool>("programmed");
        QTest::newRow("ack, 5 lines") << 5 << QByteArray("\x64") << 5 << false;
        QTest::newRow("one line") << 1 << QByteArray("\x7F") << 1 << false;
        QTest::newRow("two answers at once advance one")
            << 4 << QByteArray("\x64\x64") << 4 << false;
        QTest::newRow("0x00 ends it") << 4 << QByteArray(1, '\0') << 1 << true;
        QTest::newRow("two bytes are not examined") << 4 << QByteArray("\x60\x15") << 4 << false;
    }
    void answers()
    {
        QFETCH(int, lines);
        QFETCH(QByteArray, answer);
        QFETCH(int, frames);
        QFETCH(bool, programmed);
        Pair pair(notifier, lines);
        QVERIFY(pair.connected());
        pair.printer.otherwise = answer;
        pair.start(lines);
        QTRY_COMPARE(pair.finishedSpy.size(), 1);
        QVERIFY(pair.printer.receivedAllFrom(&pair.socket));
        QCOMPARE(pair.printer.frames.size(), frames);
        QCOMPARE(pair.finishedSpy.size(), 1);
        QCOMPARE(frameRows(pair.printer.frames), rowFields(1, frames, lines));
        QCOMPARE(pair.printer.frames.first().mid(23, 104), pair.hex.left(104));
        QList<int> values;
        for (int v = 1; v <= frames; ++v)
            values << v;
        QCOMPARE(pair.values(), values);
        if (programmed)
            KELM_EXPECT_BOX(notifier, Critical, QStringLiteral("Grafika już zaprogramowana"), Close,
                            pair.detail());
    }

    // Bytes before any transfer write nothing; an empty or short payload is never
    // read past its end. A split answer advances two lines. cancelSend() lets the
    // answer in flight be read, and nothing follows: no frame, no finished(), even
    // when the answer says "programmed". A write that fails ends the transfer.
    void stepByStep()
    {
        Pair pair(notifier, 4);
        QVERIFY(pair.connected());
        QSignalSpy read(&pair.socket, &QTcpSocket::readyRead); // after the Connection's slot
        pair.printer.last()->write("\x64");
        QVERIFY(read.wait());
        pair.connection.sendLine(); // nothing handed over yet
        QVERIFY(pair.valueSpy.isEmpty());
        const QByteArray empty, twoRows = logoHexOf(2);
        pair.send(&empty, 0);
        KELM_EXPECT_BOX(notifier, Critical, QStringLiteral("Poza tablicą!"), Close, pair.detail());
        QCOMPARE(pair.values(), QList<int>({1}));
        for (const int line : {3, 0}) {
            pair.send(&twoRows, 3, line);
            KELM_EXPECT_BOX(notifier, Critical, QStringLiteral("Poza tablicą!"), Close,
                            pair.detail());
        }

        pair.valueSpy.clear();
        pair.printer.otherwise.clear();
        pair.start(6);
        QTRY_COMPARE(pair.printer.frames.size(), 1);
        pair.printer.last()->write("\x64");
        QTRY_COMPARE(pair.valueSpy.size(), 2);
        pair.printer.last()->write("\x64");
        QTRY_COMPARE(pair.printer.frames.size(), 3);
        // Nothing came before these: a frame written earlier would stand first.
        QCOMPARE(frameRows(pair.printer.frames), rowFields(1, 3, 6));
        pair.connection.cancelSend();
        pair.printer.last()->write("\x60");
        QTRY_VERIFY(!notifier.isEmpty());
        KELM_EXPECT_BOX(notifier, Critical, QStringLiteral("Grafika już zaprogramowana"), Close,
                        pair.detail());
        QSignalSpy late(&pair.socket, &QTcpSocket::readyRead);
        pair.printer.last()->write("\x64");
        QVERIFY(late.wait());
        QVERIFY(pair.printer.receivedAllFrom(&pair.socket));
        QCOMPARE(pair.printer.frames.size(), 3);
        QCOMPARE(pair.finishedSpy.size(), 0);
        QCOMPARE(pair.values(), QList<int>({1, 2, 3}));

        pair.socket.abort();
        pair.start(3);
        KELM_EXPECT_BOX(notifier, Critical, QStringLiteral("Błąd transmisji TCP/IP"), Close,
                        pair.detail());
        QCOMPARE(pair.connection.line(), 4);
        QCOMPARE(pair.finishedSpy.size(), 0);
    }

    // A closed link says nothing; the others say what failed and where.
    void socketErrors()
    {
        QTcpSocket socket;
        Connection connection(&socket, 1, &notifier);
        connection.setPrinter({}, QStringLiteral("127.0.0.9"), 4464);
        const auto raise = [&](QAbstractSocket::SocketError error) {
            QMetaObject::invokeMethod(&connection, "displayError",
                                      Q_ARG(QAbstractSocket::SocketError, error));
        };
        const QString where = QStringLiteral("Drukarka 127.0.0.9:4464");
        raise(QAbstractSocket::RemoteHostClosedError);
        raise(QAbstractSocket::HostNotFoundError);
        KELM_EXPECT_BOX(
            notifier, Information,
            "Nie znaleziono hosta. Upewnij się że ustawienia ip i portu hosta są prawidłowe", Ok,
            where);
        raise(QAbstractSocket::ConnectionRefusedError);
        KELM_EXPECT_BOX(notifier, Information, refusedText(), Ok, where);
        raise(QAbstractSocket::NetworkError);
        KELM_EXPECT_BOX(notifier, Information,
                        "Wystąpił następujący błąd: " + socket.errorString() + '.', Ok, where);
    }

    // A printer connected anew starts the logo once from row 1; stopped while
    // still connecting it ends as stopped and gets nothing; a port that refuses
    // leaves it refused, told in the retry's one box rather than a box of its own.
    void restartOnNewConnection()
    {
        LoopbackPrinter printer;
        QTcpSocket socket;
        Connection connection(&socket, 2, &notifier);
        const QByteArray hex = logoHexOf(2);
        connection.setTransferData(&hex, buildFrameTemplate(LogoPlacement::Header));
        const QString loopback = QStringLiteral("127.0.0.1");
        FailedRetry retry(&notifier);
        retry.setPause(0);
        const QList<RetryTarget> targets{{&connection, {{}, loopback, printer.port()}}};
        connection.setOutcome(PrinterOutcome::NotConnected);
        QCOMPARE(retry.retry(targets), QList<int>{0});
        QCOMPARE(connection.outcome(), PrinterOutcome::Waiting);
        retry.stop(&connection);
        QCOMPARE(connection.outcome(), PrinterOutcome::Stopped);
        QCOMPARE(retry.retry(targets), QList<int>{0});
        QTRY_COMPARE(connection.outcome(), PrinterOutcome::Programmed);
        QVERIFY(staysTrue([&] { return printer.frames.size() == 2; }));
        QCOMPARE(printer.frames.first().mid(6, 4), QByteArray("01;0"));
        QVERIFY(retry.retry(targets).isEmpty()); // programmed: left alone

        const quint16 dead = LoopbackPrinter::deadPort();
        connection.setPrinter({}, loopback, dead);
        connection.setOutcome(PrinterOutcome::HungUp);
        retry.retry({{&connection, {QStringLiteral("Kasa 9"), loopback, dead}}});
        QTRY_COMPARE(connection.outcome(), PrinterOutcome::Refused);
        QTRY_VERIFY(!notifier.isEmpty());
        KELM_EXPECT_BOX(
            notifier, Critical, QStringLiteral("Nie połączono ponownie z drukarkami: 1."), Close,
            {}, {},
            QStringLiteral("„Kasa 9” (%1:%2): połączenie odrzucone").arg(loopback).arg(dead));
    }

    // With one row, one finished() enables "Zamknij"; with many rows the dialog
    // still fits the screen, the rows scrolling. It opens on the summary, and
    // Enter means "Zamknij", never a row's "przerwij".
    void dialogRows()
    {
        LinkSettings settings;
        QTcpSocket socket;
        settings.tcpSockets << &socket;
        settings.printerNames << QStringLiteral("Kasa 1");
        {
            TcpProgressDialog dialog(&settings);
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Wysyłanie danych TCP/IP"));
            QCOMPARE(dialog.cancelButtons.first()->text(), QStringLiteral("przerwij"));
            dialog.isAbleToClose();
            QVERIFY(dialog.closeButton->isEnabled());
        }
        for (int i = 1; i < 200; ++i)
            settings.tcpSockets << &socket; // names run out: rows past them have none
        TcpProgressDialog dialog(&settings);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(dialog.height() <= screen.height());
        QVERIFY(dialog.closeButton->isVisible() && dialog.cancelAllButton->isVisible());
        QVERIFY(dialog.closeButton->geometry().bottom() < dialog.height());
        QCOMPARE(QApplication::focusWidget(), dialog.summaryLabel);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(dialog.isHidden());
    }

    // The names share one column, so every bar starts and ends at the same place;
    // a long name is cut short with "…" and whole in its tool tip, and a name is
    // never markup. Rows that never started have nothing to stop. The summary
    // breaks between counts, never inside one.
    void nameColumn()
    {
        LinkSettings settings;
        QTcpSocket socket;
        const QString longName = QStringLiteral("Sklep nr 1 – Galeria Handlowa Północ, ul. "
                                                "Marszałkowska 104/122, Warszawa");
        settings.printerNames =
            QStringList({QStringLiteral("K"), longName, QStringLiteral("Kasa <b>3</b>")});
        settings.printerSelected = {true, false, true};
        settings.tcpSockets = {&socket, &socket, &socket};
        TcpProgressDialog dialog(&settings);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QSet<int> edges;
        for (QProgressBar *bar : qAsConst(dialog.progressBars)) {
            QVERIFY(bar->width() >= TcpProgressDialog::minBarWidth);
            edges << bar->mapTo(&dialog, QPoint()).x()
                  << bar->mapTo(&dialog, bar->rect().topRight()).x();
        }
        QCOMPARE(edges.size(), 2);
        const auto name = [&](int row) {
            return dialog.progressBars[row]->parentWidget()->findChild<QLabel *>();
        };
        QVERIFY(name(1)->text().endsWith(QChar(0x2026)));
        QVERIFY(name(1)->toolTip().contains(longName));
        QCOMPARE(name(2)->textFormat(), Qt::PlainText);
        QCOMPARE(name(2)->text(), QStringLiteral("Kasa <b>3</b>"));
        QCOMPARE(name(0)->text(), QStringLiteral("K"));
        for (QPushButton *cancel : qAsConst(dialog.cancelButtons))
            QVERIFY(!cancel->isEnabled());
        QString shown = dialog.summaryLabel->text();
        shown.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
        QVERIFY(shown.contains(QStringLiteral("nie&nbsp;biorą&nbsp;udziału:&nbsp;1")));
        QCOMPARE(shown.count(QLatin1Char(' ')), shown.count(QStringLiteral(", ")));
    }
};

QTEST_MAIN(TstTcp)
#include "tst_tcp.moc"
