// The program's main window programming the virtual printer, a separate
// process, over the serial link and TCP/IP.
#include "support/recordingnotifier.h"
#include "support/simprocess.h"
#include "support/windowsetup.h"
#include "ui/progress/tcpprogressdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QPainter>
#include <QTcpSocket>
#include <QTest>

#include <functional>

namespace {

struct Rig
{
    explicit Rig(RecordingNotifier &notifier) : window(&notifier) {}

    // A drawn picture: a frame, a bar and a diagonal, not symmetric either way.
    bool picture()
    {
        QImage image(416, 96, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setPen(QPen(Qt::black, 3));
        painter.drawRect(2, 2, 411, 91);
        painter.fillRect(20, 20, 100, 30, Qt::black);
        painter.drawLine(150, 10, 400, 85);
        painter.end();
        const QString path = folder.filePath(QStringLiteral("logo.png"));
        return image.save(path) && t.openPicture(path);
    }
    // A grey gradient with a disc on a partly transparent background: each
    // conversion prints it differently.
    bool photo()
    {
        QImage image(900, 300, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        QLinearGradient gradient(0, 0, 900, 0);
        gradient.setColorAt(0, QColor(30, 30, 30));
        gradient.setColorAt(1, QColor(230, 230, 230, 120));
        painter.fillRect(0, 50, 900, 200, gradient);
        painter.setBrush(QColor(200, 60, 60));
        painter.drawEllipse(600, 20, 250, 250);
        painter.end();
        const QString path = folder.filePath(QStringLiteral("photo.png"));
        return image.save(path) && t.openPicture(path);
    }
    QString out() const { return folder.filePath(QStringLiteral("out")); }
    QImage png(const QJsonObject &line) const
    {
        return QImage(QDir(out()).filePath(line.value(QStringLiteral("png")).toString()));
    }
    QList<QJsonObject> log() const { return SimProcess::log(out()); }
    // The PNG of a log line shows, dot for dot, the raster the window encoded.
    bool showsLogo(const QJsonObject &line)
    {
        const QImage png(QDir(out()).filePath(line.value(QStringLiteral("png")).toString()));
        const QByteArray bits = QByteArray::fromHex(t.logoHex());
        if (png.width() != 416 || png.height() * 52 != bits.size())
            return false;
        for (int y = 0; y < png.height(); ++y)
            for (int x = 0; x < 416; ++x)
                if ((qGray(png.pixel(x, y)) < 128) !=
                    bool((bits.at(y * 52 + x / 8) >> (7 - x % 8)) & 1))
                    return false;
        return true;
    }

    bool openSerial(const QString &path)
    {
        t.linkSettings().linkMode = 1;
        t.linkSettings().comPortName = path;
        t.openLink();
        return t.linkSettings().comPortOpen;
    }
    bool openTcp(const QList<quint16> &ports)
    {
        LinkSettings &s = t.linkSettings();
        for (const quint16 port : ports)
            addTcpEntry(s, QStringLiteral("Kasa %1").arg(s.printerNames.size() + 1),
                        QString::number(port));
        s.linkMode = 2;
        t.openLink();
        return QTest::qWaitFor([&] {
            for (QTcpSocket *socket : qAsConst(t.linkSettings().tcpSockets))
                if (socket->state() != QAbstractSocket::ConnectedState)
                    return false;
            return true;
        });
    }
    // "Wyślij" over TCP/IP; the progress dialog is closed once `done` holds.
    bool sendTcp(const std::function<bool()> &done)
    {
        bool held = false;
        const auto wait = [&](TcpProgressDialog &) { held = QTest::qWaitFor(done, 30000); };
        return sendInDialog(t, wait) && held;
    }

    TestFolder folder;
    MainWindow window;
    MainWindowTester t{window};
};

} // namespace

class TstPrinterSimLink : public QObject, NotifierFixture
{
    Q_OBJECT

private slots:
    void init() { resetNotifier(); }
    void cleanup() { checkNotifier(); }

    // Header then footer over the serial link, each landing in its placement.
    void serialLink()
    {
        Rig rig(notifier);
        const QString path = rig.folder.filePath(QStringLiteral("ttyKELM"));
        SimProcess sim({"--out", rig.out(), "--serial", path});
        QVERIFY(sim.started);
        QVERIFY(rig.picture());
        QVERIFY(rig.openSerial(path));
        rig.t.sliderY()->setValue(50);

        rig.t.send();
        QTRY_COMPARE_WITH_TIMEOUT(rig.log().size(), 1, 20000);
        // The printer logs the last row before the window reads its answer.
        QTRY_COMPARE(rig.t.currentLine(), rig.t.lineCount() + 1);
        QJsonObject line = rig.log().at(0);
        QCOMPARE(line.value("placement").toString(), QStringLiteral("header"));
        QCOMPARE(line.value("printer").toString(), "serial " + path);
        QCOMPARE(line.value("rows").toInt(), 48);
        QCOMPARE(line.value("bytes").toInt(), 48 * 130);
        QVERIFY(line.value("complete").toBool());
        QVERIFY(line.value("violations").toArray().isEmpty());
        QVERIFY(rig.showsLogo(line));

        rig.t.child<QRadioButton>("footerRadio")->setChecked(true);
        rig.t.sliderX()->setValue(50);
        rig.t.send();
        QTRY_COMPARE_WITH_TIMEOUT(rig.log().size(), 2, 20000);
        line = rig.log().at(1);
        QCOMPARE(line.value("placement").toString(), QStringLiteral("footer"));
        QVERIFY(line.value("complete").toBool());
        QVERIFY(rig.showsLogo(line));

        QVERIFY(sim.stop());
        QVERIFY(!QFileInfo(path).isSymLink());
    }

    // A printer that already holds a header refuses the second one.
    void onceRefusesSecondSend()
    {
        Rig rig(notifier);
        const QString path = rig.folder.filePath(QStringLiteral("ttyKELM"));
        SimProcess sim({"--out", rig.out(), "--answer", "once", "--serial", path});
        QVERIFY(sim.started);
        QVERIFY(rig.picture());
        QVERIFY(rig.openSerial(path));
        rig.t.sliderY()->setValue(10);
        rig.t.send();
        QTRY_COMPARE_WITH_TIMEOUT(rig.log().size(), 1, 20000);
        QTRY_COMPARE(rig.t.currentLine(), rig.t.lineCount() + 1);
        QVERIFY(notifier.isEmpty());

        rig.t.send();
        QTRY_VERIFY(!notifier.isEmpty());
        KELM_EXPECT_NOTICE(notifier, Notice::Critical, QStringLiteral("Kelm Graphics"),
                           QStringLiteral("Grafika już zaprogramowana"), Notice::Close);
        // The refused logo is ended by the printer's stop.
        QVERIFY(sim.stop());
        QCOMPARE(rig.log().size(), 2);
        const QJsonObject refused = rig.log().at(1);
        QVERIFY(refused.value("refused").toBool());
        QVERIFY(!refused.value("complete").toBool());
        QCOMPARE(refused.value("frames").toInt(), 1);
        QVERIFY(!refused.contains("png"));
    }

    // Three printers at once, each with the whole footer.
    void tcpPrinters()
    {
        Rig rig(notifier);
        SimProcess sim({"--out", rig.out(), "--tcp", "127.0.0.1:0", "--tcp", "127.0.0.1:0", "--tcp",
                        "127.0.0.1:0"});
        QVERIFY(sim.started);
        QCOMPARE(sim.ports.size(), 3);
        QVERIFY(rig.picture());
        QVERIFY(rig.openTcp(sim.ports));
        rig.t.child<QRadioButton>("footerRadio")->setChecked(true);
        QVERIFY(rig.sendTcp([&] { return rig.log().size() == 3; }));
        QSet<QString> printers;
        for (const QJsonObject &line : rig.log()) {
            printers.insert(line.value("printer").toString());
            QCOMPARE(line.value("placement").toString(), QStringLiteral("footer"));
            QCOMPARE(line.value("rows").toInt(), 96);
            QVERIFY(line.value("complete").toBool());
            QVERIFY(rig.showsLogo(line));
        }
        QCOMPARE(printers.size(), 3);
    }

    // What the print preview shows and "Zapisz jako PNG..." writes is what the
    // printer holds, dot for dot, with every conversion.
    void printPreviewIsWhatThePrinterHolds()
    {
        const auto sameDots = [](const QImage &a, const QImage &b) {
            if (a.size() != b.size() || a.isNull())
                return false;
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width(); ++x)
                    if ((qGray(a.pixel(x, y)) < 128) != (qGray(b.pixel(x, y)) < 128))
                        return false;
            return true;
        };
        Rig rig(notifier);
        SimProcess sim({"--out", rig.out(), "--tcp", "127.0.0.1:0"});
        QVERIFY(sim.started);
        QVERIFY(rig.photo());
        QVERIFY(rig.openTcp(sim.ports));
        rig.t.sliderX()->setValue(80);
        rig.t.sliderY()->setValue(70);
        PrintPreview *preview = rig.t.printPreview();
        auto *methods = preview->findChild<QComboBox *>(QStringLiteral("methodBox"));
        QList<QImage> printed;
        for (int method = 0; method < methods->count(); ++method) {
            methods->setCurrentIndex(method);
            const QString saved = rig.folder.filePath(QStringLiteral("saved.png"));
            QVERIFY(preview->savePng(saved));
            QVERIFY(rig.sendTcp([&] { return rig.log().size() == method + 1; }));
            printed.append(rig.png(rig.log().at(method)));
            QCOMPARE(printed.last().size(), QSize(416, 67));
            QVERIFY(sameDots(preview->shownPicture(), printed.last()));
            QVERIFY(sameDots(QImage(saved), printed.last()));
        }
        QVERIFY(!sameDots(printed.at(0), printed.at(1)) && !sameDots(printed.at(1), printed.at(2)));
    }

    // The middle printer drops the link after 5 frames: it is logged incomplete
    // with its 5 rows, and the other two get the whole logo.
    void tcpPrinterDropped()
    {
        Rig rig(notifier);
        SimProcess sim({"--out", rig.out(), "--tcp", "127.0.0.1:0", "--drop-after", "5", "--tcp",
                        "127.0.0.1:0", "--drop-after", "0", "--tcp", "127.0.0.1:0"});
        QVERIFY(sim.started);
        QVERIFY(rig.picture());
        QVERIFY(rig.openTcp(sim.ports));
        rig.t.sliderY()->setValue(40);
        QVERIFY(rig.sendTcp([&] { return rig.log().size() == 3; }));
        const QString dropped = QStringLiteral("tcp 127.0.0.1:%1").arg(sim.ports.at(1));
        for (const QJsonObject &line : rig.log()) {
            if (line.value("printer").toString() == dropped) {
                QVERIFY(!line.value("complete").toBool());
                QCOMPARE(line.value("rows").toInt(), 5);
                QVERIFY(!line.contains("png"));
            } else {
                QVERIFY(line.value("complete").toBool());
                QCOMPARE(line.value("rows").toInt(), 38);
                QVERIFY(rig.showsLogo(line));
            }
        }
    }
};

QTEST_MAIN(TstPrinterSimLink)
#include "tst_printersimlink.moc"
