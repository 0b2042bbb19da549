// settings.txt: the format against written and damaged files, and the window
// that reads it at start and writes it at exit.
#include "core/config/settingsformat.h"
#include "support/mainwindowtester.h"
#include "support/recordingnotifier.h"
#include "support/testfolder.h"

#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// "path|link|com:chosen|ip,port,name,selected|..." for short expectations.
QString describe(const StoredSettings &s)
{
    QStringList parts = {s.imagePath, QString::number(s.linkMode),
                         s.comPortName + ':' + QString::number(s.comPortChosen)};
    for (int i = 0; i < s.printerCount(); ++i)
        parts << s.printerIps.at(i) + ',' + s.printerPorts.at(i) + ',' + s.printerNames.at(i) +
                     ',' + QString::number(s.printerSelected.at(i));
    return parts.join('|');
}

StoredSettings parsed(const QByteArray &content)
{
    StoredSettings s;
    parseSettings(content, s);
    return s;
}

// The loaded lists stay aligned and never hold more printers than the file has
// lines, and the next save loads back as the same state. The only change the
// first save may make: a link line naming neither link loads as no link, is
// written back as "COM", and so comes back as the serial link.
QString brokenInvariant(const QByteArray &content)
{
    const StoredSettings first = parsed(content);
    const int n = first.printerCount();
    if (first.printerPorts.size() != n || first.printerNames.size() != n ||
        first.printerSelected.size() != n)
        return QStringLiteral("printer lists differ in length");
    if (n > 0 && n + 1 > content.count('\n'))
        return QStringLiteral("more printers than lines");
    StoredSettings expected = first;
    if (n > 0 && expected.linkMode == 0)
        expected.linkMode = 1;
    const StoredSettings second = parsed(formatSettings(first));
    if (second != expected)
        return "reload differs: " + describe(second) + " / " + describe(expected);
    return parsed(formatSettings(second)) == second ? QString() : "second save differs";
}

QByteArray settingsFile()
{
    QFile file(QStringLiteral("settings.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

const QByteArray workedExample = "C:/Obrazy/logo.png\nTCP\n"
                                 "Drukarka:TCP:192.168.1.50:9100:Kasa 1:1\n"
                                 "Drukarka:TCP:192.168.1.51:9100:Kasa 2:0\n"
                                 "COM:COM3:1\n";

const Notice notOpened = {Notice::Critical, QStringLiteral("Błąd"),
                          QStringLiteral("Nie można otworzyć pliku z ustawieniami"), Notice::Close};
const Notice notSaved = {Notice::Critical, QStringLiteral("Błąd"),
                         QStringLiteral("Nie można zapisać pliku z ustawieniami. "
                                        "Ustawienia nie zostały zapisane."),
                         Notice::Close};

} // namespace

class TstSettings : public QObject
{
    Q_OBJECT

    RecordingNotifier notifier;
    QTcpServer printer; // the ticked entry of a TCP/IP start connects for real, on loopback

private slots:
    void initTestCase() { QVERIFY(printer.listen(QHostAddress::LocalHost)); }
    void init() { notifier = RecordingNotifier(); }
    void cleanup() { KELM_EXPECT_NO_NOTICE(notifier); }

    // Read no further than the lines and fields there are.
    void readsAnyFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("loaded");
        const auto row = [](const char *name, const QByteArray &content, const char *loaded) {
            QTest::newRow(name) << content << QString::fromUtf8(loaded);
        };
        row("empty", "", "|0|:1");
        row("one line", "C:/a.png", "|0|:1");
        row("COM with printers: serial", "p\nCOM\nDrukarka:TCP:a:1:n:1\nCOM:COM3:0\n",
            "p|1|COM3:0|a,1,n,1");
        row("TCP, no printers: no link, COM line read", "p\nTCP\nCOM:COM3:0\n", "p|0|COM3:0");
        row("link line with both", "p\nTCP COM\nDrukarka:TCP:a:1:n:1\n", "p|1|:1|a,1,n,1");
        row("link line with neither", "p\nUSB\nDrukarka:TCP:a:1:n:1\n", "p|0|:1|a,1,n,1");
        row("selection other than 1",
            "p\nTCP\nDrukarka:TCP:a:1:n:0\nDrukarka:TCP:a:1:n:tak\nDrukarka:TCP:a:1:n:1 \n",
            "p|2|:1|a,1,n,0|a,1,n,0|a,1,n,0");
        row("too few fields", "p\nTCP\nDrukarka:TCP:10.0.0.1\nDrukarka:TCP:\nCOM:COM3\n",
            "p|2|COM3:0|10.0.0.1,,,0|,,,0");
        row("extra colons", "p:q\nTCP\nDrukarka:TCP:a:1:Kasa:2:1\nCOM:COM3:1:0\n",
            "p:q|2|COM3:1|a,1,Kasa,0");
        row("Drukarka in path, name, and lines that are not entries",
            "C:/Drukarka.png\nTCP\nDrukarka:TCP:a:1:Drukarka:1\nDrukarka\nCOM:Drukarka:0\n",
            "C:/Drukarka.png|2|:1|a,1,Drukarka,1");
        row("truncated in a printer line", "p\nTCP\nDrukarka:TCP:a:1:Ka", "p|2|:1|a,1,Ka,0");
        row("CR LF", "p\r\nTCP\r\nDrukarka:TCP:a:1:n:1\r\nCOM:COM3:1\r\n", "p|2|COM3:1|a,1,n,1");
        row("Polish letters, UTF-8", "C:/Zdjęcia\nTCP\nDrukarka:TCP:a:1:Kasa Łódź:1\n",
            "C:/Zdjęcia|2|:1|a,1,Kasa Łódź,1");
        row("Polish letters, Windows-1250",
            "C:/Zdj\xEA"
            "cia\nTCP\nDrukarka:TCP:a:1:Kasa \xA3\xF3"
            "d\x9F:1\n",
            "C:/Zdjęcia|2|:1|a,1,Kasa Łódź,1");
        row("path ending in two CRs", "C:/a.png\r\r\nCOM\n", "C:/a.png|0|:1");
        row("path with CR before NUL", QByteArray("C:/a.png\r\0x\nCOM\n", 16), "C:/a.png|0|:1");
    }

    void readsAnyFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, loaded);
        QCOMPARE(describe(parsed(content)), loaded);
        const QString broken = brokenInvariant(content);
        QVERIFY2(broken.isEmpty(), qPrintable(broken));
    }

    // Seeded damage to written files: cut short or in the middle, and with any
    // byte, line ends, separators, the printer prefix or Polish letters put anywhere.
    void randomDamage()
    {
        const QList<QByteArray> pieces =
            QByteArray("Drukarka|Drukarka:TCP:|\nDrukarka:TCP:|\n|\r|\r\n|:|:1|COM:|TCP|Łódź|")
                .split('|');
        const QList<QByteArray> files = {workedExample, "\nCOM\nCOM::1\n",
                                         "C:/a.png\nCOM\nDrukarka:TCP:a:1:n:0\nCOM:COM3:1\n"};
        QRandomGenerator rng(20240531);
        for (int i = 0; i < 60000; ++i) {
            QByteArray file = files.at(int(rng.bounded(files.size())));
            for (int n = 1 + int(rng.bounded(4)); n > 0; --n) {
                const int at = int(rng.bounded(file.size() + 1));
                if (rng.bounded(3) == 0)
                    file.remove(at, int(rng.bounded(60)));
                else if (rng.bounded(2) == 0)
                    file.insert(at, char(rng.bounded(256)));
                else
                    file.insert(at, pieces.at(int(rng.bounded(pieces.size()))));
            }
            const QString broken = brokenInvariant(file);
            if (!broken.isEmpty())
                QFAIL(qPrintable(QString::fromLatin1(file.toPercentEncoding()) + ": " + broken));
        }
    }

    void enormousFile()
    {
        const QByteArray printers =
            QByteArray("C:/Obrazy/").repeated(2000000) + "\nTCP\n" +
            QByteArray("Drukarka:TCP:1.2.3.4:9100:Kasa Łódź:1\n").repeated(50000);
        QCOMPARE(parsed(printers).printerCount(), 50000);
        QVector<quint32> binary(8 << 20);
        QRandomGenerator(7).fillRange(binary.data(), binary.size());
        for (const QByteArray &content :
             {printers, QByteArray(reinterpret_cast<const char *>(binary.constData()), 32 << 20)}) {
            const QString broken = brokenInvariant(content);
            QVERIFY2(broken.isEmpty(), qPrintable(broken));
        }
    }

    // What a start reads from settings.txt and what the exit writes back.
    void startAndExit_data()
    {
        QTest::addColumn<QByteArray>("file");   // null: none, a first start
        QTest::addColumn<bool>("byExitAction"); // else the window's close button
        QTest::addColumn<QString>("loaded");
        QTest::addColumn<QByteArray>("saved");
        const QByteArray defaults("\nCOM\nCOM::1\n");
        QTest::newRow("first start, Wyjście") << QByteArray() << true << "|0|:1" << defaults;
        QTest::newRow("first start, close button") << QByteArray() << false << "|0|:1" << defaults;
        // The example of two printers, with CR LF, moved to loopback: the start opens
        // the TCP/IP link and connects the ticked one.
        const QByteArray port = QByteArray::number(printer.serverPort());
        const QByteArray local = QByteArray(workedExample)
                                     .replace("192.168.1.50:9100", "127.0.0.1:" + port)
                                     .replace("192.168.1.51", "127.0.0.2");
        QTest::newRow("worked example, CR LF")
            << QByteArray(local).replace("\n", "\r\n") << false
            << QString::fromLatin1("C:/Obrazy/logo.png|2|COM3:1|127.0.0.1," + port +
                                   ",Kasa 1,1|127.0.0.2,9100,Kasa 2,0")
            << local;
        // COM3 does not exist here: trying to open it would show a message.
        QTest::newRow("serial without printers: no link")
            << QByteArray("C:/a.png\nCOM\nCOM:COM3:1\n") << true << "C:/a.png|0|COM3:1"
            << QByteArray("C:/a.png\nCOM\nCOM:COM3:1\n");
    }

    void startAndExit()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, byExitAction);
        QFETCH(QString, loaded);
        QFETCH(QByteArray, saved);
        TestFolder folder;
        QFile settings(QStringLiteral("settings.txt"));
        QVERIFY(file.isNull() || (settings.open(QIODevice::WriteOnly) && settings.write(file)));
        settings.close();
        QPointer<MainWindow> window = new MainWindow(&notifier);
        MainWindowTester t(*window);
        const LinkSettings &l = t.linkSettings();
        QCOMPARE(describe({t.imagePath(), l.linkMode, l.printerIps, l.printerPorts, l.printerNames,
                           l.printerSelected, l.comPortName, l.comPortChosen}),
                 loaded);
        QCOMPARE(settingsFile(), file);
        // One socket per entry, owned by the link settings; only ticked ones connect.
        QCOMPARE(l.printerCount, l.tcpSockets.size());
        for (int i = 0; i < l.printerCount; ++i) {
            const QTcpSocket *socket = l.tcpSockets.at(i);
            QVERIFY(!socket->parent());
            QCOMPARE(socket->state() != QAbstractSocket::UnconnectedState,
                     l.linkMode == 2 && l.printerSelected.at(i));
        }

        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        if (byExitAction)
            t.child<QAction>("exitAction")->trigger();
        else
            window->close();
        QTRY_VERIFY(window.isNull());
        QCOMPARE(settingsFile(), saved);
    }

    // Only a regular file is read or written (tests run as root, so a directory
    // in the file's place is what cannot be opened); a FIFO or a device would
    // block the start or never end.
    void unopenableFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("directory") << "directory";
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("link to /dev/zero") << "zero";
    }
    void unopenableFile()
    {
        QFETCH(QString, kind);
        TestFolder folder;
        const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("settings.txt")));
        if (kind == "directory")
            QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("settings.txt")));
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        else
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), QString::fromLocal8Bit(path)));
        delete new MainWindow(&notifier); // reads at start, writes at exit
        QCOMPARE(std::exchange(notifier.notices, {}), QList<Notice>({notOpened, notSaved}));
        QVERIFY(!QFileInfo(QString::fromLocal8Bit(path)).isFile());
    }

    // A save that fails midway (here: past the file size limit, as on a full
    // disk) leaves the old file whole and says so.
    void failedSaveKeepsFile()
    {
        TestFolder folder;
        const QByteArray old = "C:/a.png\nCOM\nDrukarka:TCP:127.0.0.1:1:n:0\nCOM:COM3:0\n";
        QFile file(QStringLiteral("settings.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
        file.close();
        {
            MainWindow window(&notifier);
            LinkSettings &s = MainWindowTester(window).linkSettings();
            for (int i = s.printerCount; i < 106; ++i) {
                s.printerIps.append(QStringLiteral("127.0.0.1"));
                s.printerPorts.append(QString::number(9100 + i));
                s.printerNames.append(QStringLiteral("Kasa ") + QString::number(i));
                s.printerSelected.append(true);
                s.tcpSockets.append(new QTcpSocket);
            }
            s.printerCount = 106;
            rlimit limit{};
            QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
            const rlimit before = limit;
            limit.rlim_cur = 2000;
            const auto previous = std::signal(SIGXFSZ, SIG_IGN);
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
            MainWindowTester(window).saveSettings();
            ::setrlimit(RLIMIT_FSIZE, &before);
            std::signal(SIGXFSZ, previous);
            QCOMPARE(std::exchange(notifier.notices, {}), QList<Notice>({notSaved}));
            QCOMPARE(settingsFile(), old);
        }
        QCOMPARE(settingsFile().count("Drukarka"), 106); // the exit saved it whole
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList({"settings.txt"}));
    }

    // SIGTERM (logout, shutdown) ends the program as a normal close: it saves,
    // here turning a file from an older copy on Windows into UTF-8.
    void savesOnSigterm()
    {
        TestFolder folder;
        QFile file(QStringLiteral("settings.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("C:/\xA3\xF3"
                                                              "d\x9F.png\nCOM\n"));
        file.close();
        QProcess program;
        program.start(QStringLiteral(KELM_GRAPHICS), QStringList());
        QVERIFY(program.waitForStarted());
        // Once the handler is there: SigCgt in /proc shows the signals caught.
        QVERIFY(QTest::qWaitFor(
            [&] {
                QFile status(QStringLiteral("/proc/%1/status").arg(program.processId()));
                if (!status.open(QIODevice::ReadOnly))
                    return false;
                for (const QByteArray &line : status.readAll().split('\n'))
                    if (line.startsWith("SigCgt:"))
                        return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) &
                                1) != 0;
                return false;
            },
            20000));
        program.terminate();
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(settingsFile(), QByteArray("C:/Łódź.png\nCOM\nCOM::1\n"));
    }
};

QTEST_MAIN(TstSettings)
#include "tst_settings.moc"
