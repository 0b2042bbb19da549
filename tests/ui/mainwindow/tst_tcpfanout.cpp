// The main window's TCP/IP fan-out against printers listening on loopback: the
// link and its entries, the progress dialog's close rules, outcomes and retry.
#include "core/printer/frame.h"
#include "core/transfer/connection.h"
#include "support/logorows.h"
#include "support/loopbackprinter.h"
#include "support/modalanswerer.h"
#include "support/notices.h"
#include "support/waits.h"
#include "support/windowsetup.h"
#include "ui/progress/tcpprogressdialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <functional>
#include <memory>

namespace {

// The main window on the TCP/IP link with printer entries on loopback.
struct Rig
{
    explicit Rig(RecordingNotifier &notifier) : window(&notifier) {}

    bool picture() { return loadWhiteLogo(t, folder); }
    // An entry on its own printer, unless `port` sends it elsewhere.
    void add(bool selected, const QString &port = {}, const QString &name = {})
    {
        printers.emplace_back(new LoopbackPrinter);
        LinkSettings &s = t.linkSettings();
        addTcpEntry(s,
                    name.isNull() ? QStringLiteral("Kasa %1").arg(s.printerNames.size() + 1) : name,
                    port.isNull() ? QString::number(printers.back()->port()) : port);
        s.printerSelected.last() = selected;
    }
    bool open()
    {
        t.linkSettings().linkMode = 2;
        t.openLink();
        const LinkSettings &s = t.linkSettings();
        return QTest::qWaitFor([&] {
            for (int i = 0; i < std::min(s.printerCount, int(printers.size())); ++i)
                if (s.printerSelected.at(i) &&
                    s.printerPorts.at(i).toInt() == printers[i]->port() &&
                    printers[i]->connections == 0)
                    return false;
            return true;
        });
    }
    // "Wyślij" with `rows` rows; `during` runs inside the progress dialog, which
    // is closed after it. False if no dialog came.
    bool send(int rows, const std::function<void(TcpProgressDialog &)> &during,
              bool buttonOff = false)
    {
        t.sliderY()->setValue(rows == 96 ? 100 : (rows * 100 + 95) / 96);
        return sendInDialog(t, during, buttonOff);
    }

    TestFolder folder;
    MainWindow window;
    MainWindowTester t{window};
    std::vector<std::unique_ptr<LoopbackPrinter>> printers;
};

} // namespace

class TstTcpFanOut : public QObject, NotifierFixture
{
    Q_OBJECT

private slots:
    void init() { resetNotifier(); }
    void cleanup() { checkNotifier(); }

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
        const quint16 refused = LoopbackPrinter::deadPort();
        rig.add(true, QString::number(refused));
        QVERIFY(rig.open());
        QTRY_VERIFY(!notifier.isEmpty());
        KELM_EXPECT_BOX(notifier, Information, refusedText(), Ok,
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
        KELM_EXPECT_BOX(
            notifier, Critical, QStringLiteral("Grafika już zaprogramowana"), Close,
            QStringLiteral("Drukarka „Kasa 5”, 127.0.0.1:%1").arg(rig.printers[4]->port()));
        QCOMPARE(frameRows(rig.printers[1]->frames), rowFields(1, 96, 96));
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
        // Stopped: its answer moves nothing on (checked by its frames at the end).
        QSignalSpy read(rig.t.linkSettings().tcpSockets[0], &QTcpSocket::readyRead);
        rig.printers[0]->last()->write("\x64");
        QVERIFY(read.wait());

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
            printer->last()->write("\x64");
        QTRY_VERIFY(finished[0]->size() == 1 && finished[1]->size() == 1 &&
                    finished[2]->size() == 1);
        for (int i = 0; i < 3; ++i)
            QVERIFY(rig.printers[i]->receivedAllFrom(rig.t.linkSettings().tcpSockets[i]));
        QCOMPARE(rig.printers[0]->frames.size(), 3);
        QCOMPARE(rig.printers[1]->frames.size(), 10);
        QCOMPARE(rig.printers[2]->frames.size(), 10);
        QCOMPARE(frameRows(rig.printers[0]->frames),
                 rowFields(1, 1, 8) + rowFields(1, 1, 8) + rowFields(1, 1, 8));
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
        KELM_EXPECT_BOX(notifier, Information, refusedText(), Ok,
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
            // Stopped while silent, it keeps the fact that it never answered.
            QTRY_COMPARE(words(2), outcomeText(O::NoAnswer, 0, 8));
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
                const O outcome = row == 2 ? O::NoAnswer : first[row];
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
        KELM_EXPECT_BOX(
            notifier, Critical, QStringLiteral("Grafika już zaprogramowana"), Close,
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

    // No entry, or none ticked: "Brak aktywnych połączeń." and no dialog; with no
    // entry openLink leaves the status line and "Wyślij" alone. A port past
    // 65535 is never connected. A second openLink releases the first one's objects before
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
        QVERIFY(!rig.send(
            2, [](TcpProgressDialog &) {}, true));
        KELM_EXPECT_BOX(notifier, Critical, QStringLiteral("Brak aktywnych połączeń."), Close,
                        QString());

        rig.add(false);
        QVERIFY(rig.open());
        QVERIFY(rig.t.child<QPushButton>("sendButton")->isEnabled());
        QVERIFY(!rig.send(2, [](TcpProgressDialog &) {}));
        KELM_EXPECT_BOX(notifier, Critical, QStringLiteral("Brak aktywnych połączeń."), Close,
                        QString());

        // A port past 65535 names no port: nothing is connected, not even the
        // port its low 16 bits would give.
        QTcpServer wrapped;
        if (wrapped.listen(QHostAddress::LocalHost, 70000 & 0xFFFF)) {
            s.printerPorts[0] = QStringLiteral("70000");
            s.printerSelected[0] = true;
            rig.t.openLink();
            QVERIFY(!wrapped.waitForNewConnection(300));
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
            KELM_EXPECT_BOX(notifier, Information, refusedText(), Ok,
                            QStringLiteral("Drukarka „Nowa”, 127.0.0.1:1"));
    }
};

QTEST_MAIN(TstTcpFanOut)
#include "tst_tcpfanout.moc"
