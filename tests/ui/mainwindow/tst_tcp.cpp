// The TCP/IP fan-out against printers listening on loopback: the Connection's
// stop-and-wait, the progress dialog's close rules, and the main window's link.
#include "support/logorows.h"
#include "support/loopbackprinter.h"
#include "support/mainwindowtester.h"
#include "support/modalanswerer.h"
#include "support/ptyprinter.h"
#include "support/recordingnotifier.h"
#include "support/testfolder.h"
#include "core/transfer/connection.h"
#include "core/printer/frame.h"
#include "core/transfer/retryfailed.h"
#include "ui/progress/tcpprogressdialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>
#include <memory>

namespace {

const QString title = QStringLiteral("Kelm Graphics");
const QString refusedText = QStringLiteral(
    "Połączenie zostało odrzucone przez zdalny serwer.Upewnij się że jest on włączony, oraz "
    "upewnij się że jego ustawienia ip i numer portu są prawidłowe");

template <typename Condition> bool staysTrue(Condition condition)
{
    return !QTest::qWaitFor([&] { return !condition(); }, 200);
}

// A printer on 127.0.0.1: takes one connection, collects whole frames and answers
// each from `answers`, then with `otherwise` (empty: silent). After `dropAfter`
// frames it hangs up instead of answering.
class TcpPrinter
{
public:
    TcpPrinter()
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            peer = server.nextPendingConnection();
            QObject::connect(peer, &QTcpSocket::readyRead, [this] { readFrames(); });
        });
    }

    quint16 port() const { return server.serverPort(); }
    bool accept(QTcpSocket *socket)
    {
        socket->connectToHost(QHostAddress::LocalHost, port());
        return socket->waitForConnected(5000) && QTest::qWaitFor([&] { return peer; });
    }
    // The rows and last-row flags received, as "01;0".
    QByteArrayList rows() const
    {
        QByteArrayList fields;
        for (const QByteArray &frame : frames)
            fields.append(frame.mid(6, 4));
        return fields;
    }

    QTcpServer server;
    QTcpSocket *peer = nullptr; // a child of the server
    QList<QByteArray> frames;
    QList<QByteArray> answers;
    QByteArray otherwise = "\x64";
    int dropAfter = -1;

private:
    void readFrames()
    {
        for (const QByteArray &frame : stream.feed(peer->readAll())) {
            frames.append(frame);
            if (frames.size() == dropAfter) {
                peer->disconnectFromHost();
                return;
            }
            const QByteArray answer = answers.isEmpty() ? otherwise : answers.takeFirst();
            if (!answer.isEmpty())
                peer->write(answer);
        }
    }

    FrameStream stream;
};

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

    TcpPrinter printer;
    QTcpSocket socket;
    QByteArray hex;
    Connection connection;
    QSignalSpy valueSpy;
    QSignalSpy finishedSpy;
};

// The main window on the TCP/IP link with printer entries on loopback.
struct Rig
{
    explicit Rig(RecordingNotifier &notifier) : window(&notifier) {}

    bool picture()
    {
        QImage image(416, 96, QImage::Format_Mono);
        image.fill(1);
        const QString path = folder.filePath(QStringLiteral("logo.png"));
        return image.save(path) && t.loadFile(path);
    }
    // An entry on its own printer, unless `port` sends it elsewhere.
    void add(bool selected, const QString &port = {}, const QString &name = {})
    {
        printers.emplace_back(new TcpPrinter);
        LinkSettings &s = t.linkSettings();
        s.printerIps << QStringLiteral("127.0.0.1");
        s.printerPorts << (port.isNull() ? QString::number(printers.back()->port()) : port);
        s.printerNames << (name.isNull() ? QStringLiteral("Kasa %1").arg(s.printerNames.size() + 1)
                                         : name);
        s.printerSelected << selected;
        s.tcpSockets << new QTcpSocket;
        s.printerCount = s.tcpSockets.size();
    }
    bool open()
    {
        t.linkSettings().linkMode = 2;
        t.openLink();
        const LinkSettings &s = t.linkSettings();
        return QTest::qWaitFor([&] {
            for (int i = 0; i < std::min(s.printerCount, int(printers.size())); ++i)
                if (s.printerSelected.at(i) &&
                    s.printerPorts.at(i).toInt() == printers[i]->port() && !printers[i]->peer)
                    return false;
            return true;
        });
    }
    // "Wyślij" with `rows` rows; `during` runs inside the progress dialog, which
    // is closed after it. False if no dialog came.
    bool send(int rows, const std::function<void(TcpProgressDialog &)> &during)
    {
        t.sliderY()->setValue(rows == 96 ? 100 : (rows * 100 + 95) / 96);
        bool shown = false;
        QTimer timer; // at once, before the first answer can reach a bar
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<TcpProgressDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            shown = true;
            during(*dialog);
            dialog->close();
        });
        timer.start(0);
        t.send();
        return shown;
    }

    TestFolder folder;
    MainWindow window;
    MainWindowTester t{window};
    std::vector<std::unique_ptr<TcpPrinter>> printers;
};

#define EXPECT_BOX(notifier, kind, text, button, detail)                                           \
    KELM_EXPECT_NOTICE(notifier, Notice::kind, title, QStringLiteral(text), Notice::button, detail)

} // namespace

class TstTcp : public QObject
{
    Q_OBJECT

    RecordingNotifier notifier;

private slots:
    void init() { notifier = RecordingNotifier(); }
    void cleanup()
    {
        KELM_EXPECT_NO_NOTICE(notifier);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

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
        QVERIFY(staysTrue([&] { return pair.printer.frames.size() == frames; }));
        QCOMPARE(pair.finishedSpy.size(), 1);
        QCOMPARE(pair.printer.rows(), rowFields(1, frames, lines));
        QCOMPARE(pair.printer.frames.first().mid(23, 104), pair.hex.left(104));
        QList<int> values;
        for (int v = 1; v <= frames; ++v)
            values << v;
        QCOMPARE(pair.values(), values);
        if (programmed)
            EXPECT_BOX(notifier, Critical, "Grafika już zaprogramowana", Close, pair.detail());
    }

    // Bytes before any transfer write nothing; an empty or short payload is never
    // read past its end. A split answer advances two lines. cancelSend() lets the
    // answer in flight be read, and nothing follows: no frame, no finished(), even
    // when the answer says "programmed". A write that fails ends the transfer.
    void stepByStep()
    {
        Pair pair(notifier, 4);
        QVERIFY(pair.connected());
        pair.printer.peer->write("\x64");
        QVERIFY(staysTrue([&] { return pair.printer.frames.isEmpty(); }));
        pair.connection.sendLine(); // nothing handed over yet
        QVERIFY(pair.valueSpy.isEmpty());
        const QByteArray empty, twoRows = logoHexOf(2);
        pair.send(&empty, 0);
        EXPECT_BOX(notifier, Critical, "Poza tablicą!", Close, pair.detail());
        QCOMPARE(pair.values(), QList<int>({1}));
        for (const int line : {3, 0}) {
            pair.send(&twoRows, 3, line);
            EXPECT_BOX(notifier, Critical, "Poza tablicą!", Close, pair.detail());
        }
        QVERIFY(staysTrue([&] { return pair.printer.frames.isEmpty(); }));

        pair.valueSpy.clear();
        pair.printer.otherwise.clear();
        pair.start(6);
        QTRY_COMPARE(pair.printer.frames.size(), 1);
        pair.printer.peer->write("\x64");
        QTRY_COMPARE(pair.valueSpy.size(), 2);
        pair.printer.peer->write("\x64");
        QTRY_COMPARE(pair.printer.frames.size(), 3);
        pair.connection.cancelSend();
        pair.printer.peer->write("\x60");
        QTRY_VERIFY(!notifier.isEmpty());
        EXPECT_BOX(notifier, Critical, "Grafika już zaprogramowana", Close, pair.detail());
        pair.printer.peer->write("\x64");
        QVERIFY(staysTrue([&] { return pair.printer.frames.size() == 3; }));
        QCOMPARE(pair.finishedSpy.size(), 0);
        QCOMPARE(pair.values(), QList<int>({1, 2, 3}));

        pair.socket.abort();
        pair.start(3);
        EXPECT_BOX(notifier, Critical, "Błąd transmisji TCP/IP", Close, pair.detail());
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
        EXPECT_BOX(notifier, Information,
                   "Nie znaleziono hosta. Upewnij się że ustawienia ip i portu hosta są prawidłowe",
                   Ok, where);
        raise(QAbstractSocket::ConnectionRefusedError);
        KELM_EXPECT_NOTICE(notifier, Notice::Information, title, refusedText, Notice::Ok, where);
        raise(QAbstractSocket::NetworkError);
        KELM_EXPECT_NOTICE(notifier, Notice::Information, title,
                           "Wystąpił następujący błąd: " + socket.errorString() + '.', Notice::Ok,
                           where);
    }

    // Three entries, all connected, only the second ticked: only it is started,
    // yet every row is wired. The first value a bar sees is 2. A printer that
    // refuses the link, one that hangs up mid-logo and one that answers
    // "programmed" (its box open meanwhile) hold back nobody.
    void fanOut()
    {
        Rig rig(notifier);
        QVERIFY(rig.picture());
        for (const bool selected : {false, true, false, true, true})
            rig.add(selected);
        QTcpServer probe; // a port on which nothing listens any more
        probe.listen(QHostAddress::LocalHost);
        const quint16 refused = probe.serverPort();
        probe.close();
        rig.add(true, QString::number(refused));
        QVERIFY(rig.open());
        QTRY_VERIFY(!notifier.isEmpty());
        KELM_EXPECT_NOTICE(notifier, Notice::Information, title, refusedText, Notice::Ok,
                           QStringLiteral("Drukarka „Kasa 6”, 127.0.0.1:%1").arg(refused));
        for (const int i : {0, 2})
            QVERIFY(rig.printers[i]->accept(rig.t.linkSettings().tcpSockets.at(i)));
        QLabel *status = rig.t.child<QLabel>("statusLabel");
        rig.t.statusTick();
        QCOMPARE(status->styleSheet(), QStringLiteral("color: green"));
        QCOMPARE(status->text(), QStringLiteral("Podłączono TCP/IP do 3 drukarek."));

        rig.printers[3]->dropAfter = 3;
        rig.printers[4]->answers = {"\x64", "\x60"};
        const QList<Connection *> connections = rig.t.connections();
        bool othersDoneInBox = false;
        notifier.whileShown = [&] {
            // Generous: a loaded machine under the sanitizers is slow, and only a
            // fault keeps the condition false.
            othersDoneInBox =
                QTest::qWaitFor([&] { return rig.printers[1]->frames.size() == 96; }, 30000);
        };
        QVERIFY(rig.send(96, [&](TcpProgressDialog &dialog) {
            QCOMPARE(dialog.progressBars.size(), 6);
            QSignalSpy firstValue(dialog.progressBars[1], &QProgressBar::valueChanged);
            QTRY_VERIFY(!firstValue.isEmpty());
            QCOMPARE(firstValue.first().at(0).toInt(), 2);
            QTRY_COMPARE_WITH_TIMEOUT(rig.printers[1]->frames.size(), 96, 30000);
            QTRY_COMPARE(dialog.progressBars[1]->value(), 96);
            QCOMPARE(dialog.progressBars[1]->maximum(), 96);
            // Unticked, done, hung up, already programmed, refused: every row
            // has ended, and "Zamknij" needs no "Przerwij wszystko".
            QTRY_VERIFY(dialog.closeButton->isEnabled());
            // Rows 0 and 2 are wired though not started; ended, they have
            // nothing for "przerwij" to stop.
            emit connections[0]->value(7);
            QTRY_COMPARE(dialog.progressBars[0]->value(), 7);
            QVERIFY(!dialog.cancelButtons[2]->isEnabled());
            emit dialog.cancelButtons[2]->clicked();
            QCOMPARE(connections[2]->line(), 97);
        }));
        QVERIFY(othersDoneInBox);
        EXPECT_BOX(notifier, Critical, "Grafika już zaprogramowana", Close,
                   QStringLiteral("Drukarka „Kasa 5”, 127.0.0.1:%1").arg(rig.printers[4]->port()));
        QCOMPARE(rig.printers[1]->rows(), rowFields(1, 96, 96));
        QCOMPARE(rig.printers[3]->frames.size(), 3);
        QCOMPARE(rig.printers[4]->frames.size(), 2);
        QVERIFY(rig.printers[0]->frames.isEmpty() && rig.printers[2]->frames.isEmpty());
    }

    // "Zamknij" waits for every row to end: a printer stopped with its row's
    // "przerwij" has ended, one still waiting for an answer has not. "Przerwij
    // wszystko" turns it on at once and stops only the printers still sending.
    // The main window's cancel, with the dialog gone, ends each connected
    // printer on its next answer.
    void stopping()
    {
        Rig rig(notifier);
        QVERIFY(rig.picture());
        for (int i = 0; i < 3; ++i)
            rig.add(true);
        QVERIFY(rig.open());
        rig.printers[0]->otherwise.clear();
        rig.printers[2]->otherwise.clear();
        QVERIFY(rig.send(8, [&](TcpProgressDialog &dialog) {
            QTRY_VERIFY(rig.printers[0]->frames.size() == 1 &&
                        rig.printers[2]->frames.size() == 1 && rig.printers[1]->frames.size() == 8);
            QVERIFY(staysTrue([&] { return !dialog.closeButton->isEnabled(); }));
            dialog.cancelButtons[0]->click();
            QVERIFY(!dialog.cancelButtons[0]->isEnabled());
            QVERIFY(staysTrue([&] { return !dialog.closeButton->isEnabled(); }));
            dialog.cancelButtons[2]->click();
            QVERIFY(dialog.closeButton->isEnabled());
            QCOMPARE(dialog.stateLabels[0]->text(), outcomeText(PrinterOutcome::Stopped, 0, 8));
        }));
        rig.printers[0]->peer->write("\x64");
        QVERIFY(staysTrue([&] { return rig.printers[0]->frames.size() == 1; }));

        rig.printers[2]->otherwise = "\x64";
        rig.printers[1]->otherwise.clear();
        QVERIFY(rig.send(8, [&](TcpProgressDialog &dialog) {
            QTRY_VERIFY(rig.printers[1]->frames.size() == 9 && rig.printers[2]->frames.size() == 9);
            QVERIFY(!dialog.closeButton->isEnabled());
            dialog.cancelAllButton->click();
            QVERIFY(dialog.closeButton->isEnabled());
            QCOMPARE(dialog.results().at(2).outcome, PrinterOutcome::Programmed);
            QCOMPARE(dialog.results().at(1).outcome, PrinterOutcome::Stopped);
        }));
        for (const auto &printer : rig.printers)
            printer->otherwise.clear();
        QVERIFY(rig.send(8, [&](TcpProgressDialog &) {
            QTRY_VERIFY(rig.printers[1]->frames.size() == 10 &&
                        rig.printers[2]->frames.size() == 10);
        }));
        QList<std::shared_ptr<QSignalSpy>> finished;
        for (Connection *connection : rig.t.connections())
            finished.append(std::make_shared<QSignalSpy>(connection, &Connection::finished));
        rig.t.cancel();
        for (const auto &printer : rig.printers)
            printer->peer->write("\x64");
        QTRY_VERIFY(finished[0]->size() == 1 && finished[1]->size() == 1 &&
                    finished[2]->size() == 1);
        QVERIFY(staysTrue([&] {
            return rig.printers[0]->frames.size() == 3 && rig.printers[1]->frames.size() == 10;
        }));
    }

    // Each printer's outcome in its row's words, counted by the summary, kept
    // in the report; "Ponów nieudane" tries again exactly the failed printers,
    // each on a new connection, and one that now answers is programmed.
    void outcomesAndRetry()
    {
        Rig rig(notifier);
        QVERIFY(rig.picture());
        rig.t.answerTimeoutMs() = 300;
        const quint16 dead = LoopbackPrinter::deadPort();
        for (int i = 0; i < 5; ++i)
            rig.add(true, i == 1 ? QString::number(dead) : QString());
        rig.add(false);
        rig.printers[2]->otherwise.clear();
        rig.printers[3]->dropAfter = 3;
        rig.printers[4]->otherwise = "\x60";
        QVERIFY(rig.open());
        QTRY_VERIFY(!notifier.isEmpty());
        KELM_EXPECT_NOTICE(notifier, Notice::Information, title, refusedText, Notice::Ok,
                           QStringLiteral("Drukarka „Kasa 2”, 127.0.0.1:%1").arg(dead));
        LoopbackPrinter late(-1);
        const QString report = rig.folder.filePath(QStringLiteral("raport.csv"));
        using O = PrinterOutcome;
        QVERIFY(rig.send(8, [&](TcpProgressDialog &dialog) {
            const auto words = [&](int row) { return dialog.stateLabels[row]->text(); };
            QTRY_COMPARE(QApplication::focusWidget(), dialog.summaryLabel);
            QTRY_COMPARE(words(2), QStringLiteral("brak odpowiedzi od 10 s"));
            const QList<O> first = {O::Programmed, O::Refused,           O::Sending,
                                    O::HungUp,     O::AlreadyProgrammed, O::NotTakingPart};
            const QList<int> acked = {8, 0, 0, 2, 0, 0};
            for (int row = 0; row < 6; ++row)
                if (row != 2)
                    QTRY_COMPARE(words(row), outcomeText(first[row], acked[row], 8));
            QVERIFY(!dialog.closeButton->isEnabled() && !dialog.retryButton->isEnabled());
            dialog.cancelButtons[2]->click();
            QTRY_COMPARE(words(2), outcomeText(O::Stopped, 0, 8));
            QVERIFY(dialog.closeButton->isEnabled() && dialog.retryButton->isEnabled());
            QCOMPARE(dialog.summary(), QStringLiteral("Zaprogramowano 1 z 5, już zaprogramowane: "
                                                      "1, błędy: 3, nie biorą udziału: 1"));
            // The count of failures shows only the failed rows.
            emit dialog.summaryLabel->linkActivated(QStringLiteral("failed"));
            for (int row = 0; row < 6; ++row)
                QCOMPARE(dialog.progressBars[row]->isVisibleTo(&dialog), row >= 1 && row <= 3);

            ModalAnswerer answerer([&](QWidget *modal) {
                if (auto *files = qobject_cast<QFileDialog *>(modal)) {
                    files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(report);
                    static_cast<QDialog *>(files)->accept();
                }
            });
            dialog.reportButton->click();
            QFile file(report);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QList<QByteArray> lines = file.readAll().split('\n');
            QCOMPARE(lines.size(), 1 + 6 + 1); // header, rows, nothing after the last CR LF
            for (int row = 0; row < 6; ++row) {
                const QString line = QString::fromUtf8(lines[row + 1]);
                const O outcome = row == 2 ? O::Stopped : first[row];
                QVERIFY2(line.startsWith(rig.t.linkSettings().printerNames[row]) &&
                             line.contains(rig.t.linkSettings().printerPorts[row]) &&
                             line.contains(outcomeText(outcome, acked[row], 8)),
                         qPrintable(line));
            }

            QVERIFY(late.listen(dead));
            rig.printers[2]->otherwise = "\x64";
            rig.printers[3]->dropAfter = -1;
            dialog.retryButton->click();
            QVERIFY(!dialog.closeButton->isEnabled() && !dialog.retryButton->isEnabled());
            QVERIFY(dialog.progressBars[0]->isVisibleTo(&dialog));
            QTRY_VERIFY_WITH_TIMEOUT(dialog.closeButton->isEnabled(), 20000);
            for (int row = 0; row < 4; ++row)
                QCOMPARE(words(row), outcomeText(O::Programmed, 8, 8));
            QCOMPARE(dialog.summary(), QStringLiteral("Zaprogramowano 4 z 5, już zaprogramowane: "
                                                      "1, błędy: 0, nie biorą udziału: 1"));
            QVERIFY(!dialog.retryButton->isEnabled());
            QCOMPARE(dialog.results().at(1).attempts, 2);
            QCOMPARE(dialog.results().at(0).attempts, 1);
        }));
        EXPECT_BOX(notifier, Critical, "Grafika już zaprogramowana", Close,
                   QStringLiteral("Drukarka „Kasa 5”, 127.0.0.1:%1").arg(rig.printers[4]->port()));
        // Each failed printer got the whole logo again from row 1; the others nothing more.
        QCOMPARE(late.frames.size(), 8);
        QCOMPARE(rig.printers[2]->frames.mid(1).size(), 8);
        QCOMPARE(rig.printers[3]->frames.mid(3).size(), 8);
        QCOMPARE(rig.printers[3]->frames.at(3).mid(6, 4), QByteArray("01;0"));
        QCOMPARE(rig.printers[0]->frames.size(), 8);
        QCOMPARE(rig.printers[4]->frames.size(), 1);
        QVERIFY(rig.printers[5]->frames.isEmpty());
    }

    // A printer connected anew starts the logo once from row 1; stopped while
    // still connecting it ends as stopped and gets nothing; a port that refuses
    // leaves it refused.
    void restartOnNewConnection()
    {
        LoopbackPrinter printer;
        QTcpSocket socket;
        Connection connection(&socket, 2, &notifier);
        const QByteArray hex = logoHexOf(2);
        connection.setTransferData(&hex, buildFrameTemplate(LogoPlacement::Header));
        const QString loopback = QStringLiteral("127.0.0.1");
        ::restartOnNewConnection(&connection, loopback, printer.port());
        QCOMPARE(connection.outcome(), PrinterOutcome::Waiting);
        stopRestart(&connection);
        QCOMPARE(connection.outcome(), PrinterOutcome::Stopped);
        ::restartOnNewConnection(&connection, loopback, printer.port());
        QTRY_COMPARE(connection.outcome(), PrinterOutcome::Programmed);
        QVERIFY(staysTrue([&] { return printer.frames.size() == 2; }));
        QCOMPARE(printer.frames.first().mid(6, 4), QByteArray("01;0"));

        const quint16 dead = LoopbackPrinter::deadPort();
        connection.setPrinter({}, loopback, dead);
        ::restartOnNewConnection(&connection, loopback, dead);
        QTRY_COMPARE(connection.outcome(), PrinterOutcome::Refused);
        QTRY_VERIFY(!notifier.isEmpty());
        KELM_EXPECT_NOTICE(notifier, Notice::Information, title, refusedText, Notice::Ok,
                           QStringLiteral("Drukarka %1:%2").arg(loopback).arg(dead));
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

    // No entry, or none ticked: "Brak aktywnych połączeń." and no dialog; with no
    // entry openLink leaves the status line and "Wyślij" alone. The port's low 16
    // bits are used. A second openLink releases the first one's objects before
    // a queued refusal can reach them; entries added or removed since the link
    // was built are never indexed past.
    void linkAndEntries()
    {
        Rig rig(notifier);
        LinkSettings &s = rig.t.linkSettings();
        QVERIFY(rig.picture());
        QVERIFY(rig.open());
        QLabel *status = rig.t.child<QLabel>("statusLabel");
        QCOMPARE(status->styleSheet(), QStringLiteral("color: red"));
        QVERIFY(!rig.t.child<QPushButton>("sendButton")->isEnabled());
        QVERIFY(!rig.send(2, [](TcpProgressDialog &) {}));
        EXPECT_BOX(notifier, Critical, "Brak aktywnych połączeń.", Close, QString());

        rig.add(false);
        QVERIFY(rig.open());
        QVERIFY(rig.t.child<QPushButton>("sendButton")->isEnabled());
        QVERIFY(!rig.send(2, [](TcpProgressDialog &) {}));
        EXPECT_BOX(notifier, Critical, "Brak aktywnych połączeń.", Close, QString());

        QTcpServer wrapped;
        if (wrapped.listen(QHostAddress::LocalHost, 70000 & 0xFFFF)) {
            s.printerPorts[0] = QStringLiteral("70000");
            s.printerSelected[0] = true;
            rig.t.openLink();
            QVERIFY(wrapped.waitForNewConnection(5000));
        }

        s.printerPorts[0] = QString::number(rig.printers[0]->port());
        s.printerSelected[0] = true;
        rig.add(true, QStringLiteral("1")); // refused, unless the release came first
        rig.t.openLink();
        QPointer<Connection> old = rig.t.connections().first();
        QPointer<QTcpSocket> oldSocket = s.tcpSockets.first();
        s.printerPorts[1] = QString::number(rig.printers[1]->port());
        QVERIFY(rig.open());
        QTRY_VERIFY(old.isNull() && oldSocket.isNull());

        // Removed as the table removes it, and one added without a link.
        s.tcpSockets.takeFirst()->abort();
        s.printerIps.removeFirst();
        s.printerPorts.removeFirst();
        s.printerNames.removeFirst();
        s.printerSelected.removeFirst();
        for (int i = 0; i < 2; ++i)
            rig.add(true, QStringLiteral("1"), QStringLiteral("Nowa"));
        QVERIFY(rig.send(3, [&](TcpProgressDialog &dialog) {
            QCOMPARE(dialog.progressBars.size(), 3);
            QVERIFY(staysTrue([&] { return rig.printers[1]->frames.isEmpty(); }));
        }));
        rig.printers.erase(rig.printers.begin());
        QVERIFY(rig.open());
        QTRY_COMPARE(notifier.notices.size(), 2);
        for (int i = 0; i < 2; ++i)
            KELM_EXPECT_NOTICE(notifier, Notice::Information, title, refusedText, Notice::Ok,
                               QStringLiteral("Drukarka „Nowa”, 127.0.0.1:1"));
    }
};

QTEST_MAIN(TstTcp)
#include "tst_tcp.moc"
