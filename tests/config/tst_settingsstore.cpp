#include "support/mainwindowtester.h"
#include "support/recordingnotifier.h"
#include "support/testfolder.h"

#include <QFile>
#include <QImage>
#include <QPointer>
#include <QTcpSocket>
#include <QtTest>

namespace {

QByteArray settingsFile()
{
    QFile file(QStringLiteral("settings.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeSettingsFile(const QByteArray &content)
{
    QFile file(QStringLiteral("settings.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
}

const Notice settingsError = {Notice::Critical, QStringLiteral("Błąd"),
                              QStringLiteral("Nie można otworzyć pliku z ustawieniami"),
                              Notice::Close};

} // namespace

class TstSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void firstStart();
    void closingSaves_data();
    void closingSaves();
    void restoresPrinters_data();
    void restoresPrinters();
    void serialWithoutPrintersStartsWithNoLink();
    void polishTextsRoundTrip_data();
    void polishTextsRoundTrip();
    void reloadsStoredPicture();
    void unopenableFile();
};

void TstSettingsStore::firstStart()
{
    TestFolder folder;
    RecordingNotifier notifier;
    {
        MainWindow window(&notifier);
        QVERIFY(QFile::exists(folder.filePath(QStringLiteral("settings.txt"))));
        QCOMPARE(settingsFile(), QByteArray());
        QCOMPARE(MainWindowTester(window).linkSettings().linkMode, 0);
    }
    QCOMPARE(settingsFile(), QByteArray("\nCOM\nCOM::1\n"));
    KELM_EXPECT_NO_NOTICE(notifier);
}

void TstSettingsStore::closingSaves_data()
{
    QTest::addColumn<bool>("byExitAction");
    QTest::newRow("Wyjście") << true;
    QTest::newRow("close()") << false;
}

void TstSettingsStore::closingSaves()
{
    QFETCH(bool, byExitAction);
    TestFolder folder;
    RecordingNotifier notifier;
    QPointer<MainWindow> window = new MainWindow(&notifier);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    MainWindowTester(*window).imagePath() = QStringLiteral("C:/Obrazy/logo.png");

    if (byExitAction)
        MainWindowTester(*window).exitAction()->trigger();
    else
        window->close();
    QTRY_VERIFY(window.isNull());
    QCOMPARE(settingsFile(), QByteArray("C:/Obrazy/logo.png\nCOM\nCOM::1\n"));
    KELM_EXPECT_NO_NOTICE(notifier);
}

void TstSettingsStore::restoresPrinters_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("CR LF") << QByteArray("\r\n");
}

// Loaded into a running window so that no link is opened: only the loading is checked.
void TstSettingsStore::restoresPrinters()
{
    QFETCH(QByteArray, lineEnd);
    TestFolder folder;
    RecordingNotifier notifier;
    MainWindow window(&notifier);
    MainWindowTester tester(window);
    writeSettingsFile(QByteArray("C:/Obrazy/logo.png\nTCP\n"
                                 "Drukarka:TCP:127.0.0.1:9100:Kasa 1:1\n"
                                 "Drukarka:TCP:127.0.0.1:9101:Kasa 2:0\n"
                                 "COM:COM3:1\n")
                          .replace("\n", lineEnd));
    tester.loadSettings();

    const LinkSettings &link = tester.linkSettings();
    QCOMPARE(tester.imagePath(), QStringLiteral("C:/Obrazy/logo.png"));
    QCOMPARE(link.linkMode, 2);
    QCOMPARE(link.printerCount, 2);
    QCOMPARE(link.printerIps + link.printerPorts + link.printerNames,
             QStringList({"127.0.0.1", "127.0.0.1", "9100", "9101", "Kasa 1", "Kasa 2"}));
    QCOMPARE(link.printerSelected, QList<bool>({true, false}));
    QCOMPARE(link.tcpSockets.size(), 2);
    QVERIFY(link.tcpSockets.at(0) != link.tcpSockets.at(1));
    for (QTcpSocket *socket : link.tcpSockets)
        QVERIFY(socket->state() == QAbstractSocket::UnconnectedState && !socket->parent());
    QVERIFY(tester.connections().isEmpty());
    QCOMPARE(link.comPortName + QString::number(link.comPortChosen), QStringLiteral("COM31"));
    KELM_EXPECT_NO_NOTICE(notifier);
}

// COM3 does not exist here: trying to open it would show a message.
void TstSettingsStore::serialWithoutPrintersStartsWithNoLink()
{
    TestFolder folder;
    RecordingNotifier notifier;
    const QByteArray content("C:/Obrazy/logo.png\nCOM\nCOM:COM3:1\n");
    writeSettingsFile(content);
    {
        MainWindow window(&notifier);
        const LinkSettings &link = MainWindowTester(window).linkSettings();
        QCOMPARE(link.linkMode, 0);
        QCOMPARE(link.printerCount, 0);
        QCOMPARE(link.comPortName, QStringLiteral("COM3"));
    }
    KELM_EXPECT_NO_NOTICE(notifier);
    QCOMPARE(settingsFile(), content);
}

void TstSettingsStore::polishTextsRoundTrip_data()
{
    QTest::addColumn<QString>("subfolder");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("Polish texts") << QString() << QStringLiteral("C:/Zdjęcia/Żółw ąęś.png")
                                  << QStringLiteral("Sklep Łódź – kasa ŹĆŃ");
    QTest::newRow("Polish folder")
        << QStringLiteral("Łódź żółć") << QStringLiteral("C:/Obrazy/logo.png")
        << QStringLiteral("Kasa 1");
}

void TstSettingsStore::polishTextsRoundTrip()
{
    QFETCH(QString, subfolder);
    QFETCH(QString, path);
    QFETCH(QString, name);
    TestFolder folder;
    if (!subfolder.isEmpty()) {
        QVERIFY(QDir(folder.path()).mkdir(subfolder));
        QVERIFY(QDir::setCurrent(folder.filePath(subfolder)));
    }
    RecordingNotifier notifier;
    {
        MainWindow window(&notifier);
        LinkSettings &link = MainWindowTester(window).linkSettings();
        MainWindowTester(window).imagePath() = path;
        link.linkMode = 1;
        link.printerIps << QStringLiteral("127.0.0.1");
        link.printerPorts << QStringLiteral("9100");
        link.printerNames << name;
        link.printerSelected << true;
        link.tcpSockets << new QTcpSocket;
        link.printerCount = 1;
        link.comPortName = QStringLiteral("COM3");
        link.comPortChosen = false; // so that the next start opens no port
    }
    QCOMPARE(settingsFile(), path.toUtf8() + "\nCOM\nDrukarka:TCP:127.0.0.1:9100:" + name.toUtf8() +
                                 ":1\nCOM:COM3:0\n");

    MainWindow window(&notifier);
    MainWindowTester tester(window);
    const LinkSettings &link = tester.linkSettings();
    QCOMPARE(tester.imagePath(), path);
    QCOMPARE(link.linkMode, 1);
    QCOMPARE(link.printerNames, QStringList(name));
    QCOMPARE(link.printerSelected, QList<bool>({true}));
    QCOMPARE(link.tcpSockets.size(), 1);
    QVERIFY(!link.comPortChosen);
    KELM_EXPECT_NO_NOTICE(notifier);
}

void TstSettingsStore::reloadsStoredPicture()
{
    TestFolder folder;
    const QString picture = folder.filePath(QStringLiteral("Zdjęcie łąki.png"));
    QImage source(64, 32, QImage::Format_RGB32);
    source.fill(Qt::black);
    QVERIFY(source.save(picture));
    writeSettingsFile(picture.toUtf8() + "\nCOM\nCOM::1\n");

    RecordingNotifier notifier;
    MainWindow window(&notifier);
    MainWindowTester tester(window);
    QCOMPARE(tester.imagePath(), picture);
    QVERIFY(!tester.image().isNull());
    QCOMPARE(window.windowTitle(), QStringLiteral("Kelm Graphics"));
    KELM_EXPECT_NO_NOTICE(notifier);
}

// Tests run as root, so a directory in the file's place is what cannot be opened.
void TstSettingsStore::unopenableFile()
{
    TestFolder folder;
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("settings.txt")));
    RecordingNotifier notifier;
    {
        MainWindow window(&notifier);
        KELM_EXPECT_NOTICE(notifier, settingsError);
        KELM_EXPECT_NO_NOTICE(notifier);
        MainWindowTester tester(window);
        QCOMPARE(tester.linkSettings().printerCount, 0);
        QVERIFY(tester.imagePath().isEmpty());

        tester.saveSettings();
        KELM_EXPECT_NOTICE(notifier, settingsError);
        KELM_EXPECT_NO_NOTICE(notifier);
    }
    KELM_EXPECT_NOTICE(notifier, settingsError);
    KELM_EXPECT_NO_NOTICE(notifier);
    QVERIFY(QFileInfo(folder.filePath(QStringLiteral("settings.txt"))).isDir());
}

QTEST_MAIN(TstSettingsStore)
#include "tst_settingsstore.moc"
