#include "config/settingsformat.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

Q_DECLARE_METATYPE(StoredSettings)

// path|link|com:chosen|ip,port,name,selected|... for short expectations and messages.
QString describe(const StoredSettings &s)
{
    QStringList parts = {s.imagePath, QString::number(s.linkMode),
                         s.comPortName + QLatin1Char(':') + QString::number(s.comPortChosen)};
    for (int i = 0; i < s.printerCount(); ++i)
        parts << QStringList({s.printerIps.at(i), s.printerPorts.at(i), s.printerNames.at(i),
                              QString::number(s.printerSelected.at(i))})
                     .join(QLatin1Char(','));
    return parts.join(QLatin1Char('|'));
}

char *toString(const StoredSettings &s)
{
    return qstrdup(describe(s).toUtf8().constData());
}

namespace {

struct Printer
{
    QString ip, port, name;
    bool selected;
};

StoredSettings stored(const QString &path, int linkMode, const QList<Printer> &printers,
                      const QString &comPort, bool comChosen)
{
    StoredSettings s;
    s.imagePath = path;
    s.linkMode = linkMode;
    for (const Printer &p : printers) {
        s.printerIps << p.ip;
        s.printerPorts << p.port;
        s.printerNames << p.name;
        s.printerSelected << p.selected;
    }
    s.comPortName = comPort;
    s.comPortChosen = comChosen;
    return s;
}

StoredSettings parsed(const QByteArray &content)
{
    StoredSettings s;
    parseSettings(content, s);
    return s;
}

const QList<Printer> twoTills = {{"192.168.1.50", "9100", "Kasa 1", true},
                                 {"192.168.1.51", "9100", "Kasa 2", false}};
const QByteArray twoTillLines = "Drukarka:TCP:192.168.1.50:9100:Kasa 1:1\n"
                                "Drukarka:TCP:192.168.1.51:9100:Kasa 2:0\n";

// The file is a fixed point after one save. The only change the first save may
// make: a link line naming neither link loads as no link, is written back as
// "COM", and so comes back as the serial link.
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
        return QStringLiteral("reload differs: %1 / %2").arg(describe(second), describe(expected));
    if (parsed(formatSettings(second)) != second)
        return QStringLiteral("second save is not stable");
    return QString();
}

// Texts a file may hold, with Polish letters and the counted word in awkward places.
const QStringList pieces = QStringLiteral("C:/Obrazy/|Drukarka|Zażółć gęślą jaźń|ŁÓDŹ|logo|.png| |"
                                          "Kasa 1|192.168.1.50|9100|TCP|COM|/dev/ttyUSB0|"
                                          "Drukarka:TCP:|\t|")
                               .split(QLatin1Char('|'));

QString randomText(QRandomGenerator &rng, bool colonsAllowed)
{
    QString text;
    for (int i = int(rng.bounded(4)); i > 0; --i)
        text += pieces.at(int(rng.bounded(pieces.size())));
    if (!colonsAllowed)
        text.replace(QLatin1Char(':'), QLatin1Char('_'));
    return text;
}

StoredSettings randomSettings(QRandomGenerator &rng)
{
    StoredSettings s;
    s.imagePath = randomText(rng, true);
    s.linkMode = int(rng.bounded(3));
    for (int i = int(rng.bounded(6)); i > 0; --i) {
        s.printerIps << randomText(rng, false);
        s.printerPorts << randomText(rng, false);
        s.printerNames << randomText(rng, false);
        s.printerSelected << rng.bounded(2);
    }
    s.comPortName = randomText(rng, false);
    s.comPortChosen = rng.bounded(2);
    return s;
}

// What a valid file loads as: the link only counts together with printers.
StoredSettings loadedForm(StoredSettings s)
{
    if (s.printerCount() == 0)
        s.linkMode = 0;
    else if (s.linkMode == 0)
        s.linkMode = 1;
    return s;
}

QByteArray randomBytes(QRandomGenerator &rng, int size)
{
    QVector<quint32> words((size + 3) / 4);
    rng.fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), size);
}

void damage(QByteArray &file, QRandomGenerator &rng)
{
    static const QList<QByteArray> strayLines =
        QByteArray("Drukarka|Drukarka:TCP:|Drukarka:TCP:1.2.3.4|Drukarka:TCP:a:b:c:1:d:e|COM:|"
                   "COM:COM3:1|TCP|COM||\r|Drukarka:TCP:Drukarka:Drukarka:1")
            .split('|');
    static const char special[] = {':', '\r', '\n', '\0'};
    const int at = file.isEmpty() ? 0 : int(rng.bounded(file.size() + 1));
    QList<QByteArray> lines = file.split('\n');
    const int line = int(rng.bounded(lines.size()));
    switch (rng.bounded(11)) {
    case 0:
        file.truncate(at);
        return;
    case 1:
        lines.removeAt(line);
        break;
    case 2:
        lines.insert(line, strayLines.at(int(rng.bounded(strayLines.size()))));
        break;
    case 3:
        lines.insert(line, QByteArray(lines.at(line)));
        break;
    case 4:
        lines.swapItemsAt(line, int(rng.bounded(lines.size())));
        break;
    case 5:
        if (at < file.size())
            file[at] = char(file.at(at) ^ (1 << rng.bounded(8)));
        return;
    case 6:
        file.insert(at, special[rng.bounded(4)]);
        return;
    case 7:
        file.insert(at, char(0x80 + rng.bounded(0x80)));
        return;
    case 8:
        file = randomBytes(rng, int(rng.bounded(200)));
        return;
    case 9:
        file = QByteArray("Drukarka").repeated(1 + int(rng.bounded(20)));
        if (rng.bounded(2))
            file.replace("aD", "a\nD");
        return;
    default:
        // Rarely, because it dominates the run time.
        if (rng.bounded(50) == 0)
            lines.insert(line, QByteArray("Drukarka:TCP:") + QByteArray(200000, 'x'));
        break;
    }
    file = lines.join('\n');
}

} // namespace

class TstSettingsFormat : public QObject
{
    Q_OBJECT

private slots:
    void bothWays_data();
    void bothWays();
    void damagedFile_data();
    void damagedFile();
    void keepsWhatTheFileDoesNotProvide();
    void randomDamage();
    void enormousFile_data();
    void enormousFile();
};

// Written and read: a file and the state that writes it and that it loads as.
void TstSettingsFormat::bothWays_data()
{
    QTest::addColumn<StoredSettings>("settings");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<StoredSettings>("loaded");

    const StoredSettings example = stored("C:/Obrazy/logo.png", 2, twoTills, "COM3", true);
    QTest::newRow("worked example")
        << example << "C:/Obrazy/logo.png\nTCP\n" + twoTillLines + "COM:COM3:1\n"
        << example;
    QTest::newRow("serial, no printers: no link on loading")
        << stored("C:/Obrazy/logo.png", 1, {}, "COM3", true)
        << QByteArray("C:/Obrazy/logo.png\nCOM\nCOM:COM3:1\n")
        << stored("C:/Obrazy/logo.png", 0, {}, "COM3", true);
    const StoredSettings serial = stored("", 1, twoTills, "COM3", false);
    QTest::newRow("serial with printers") << serial << "\nCOM\n" + twoTillLines + "COM:COM3:0\n"
                                          << serial;
    QTest::newRow("defaults") << StoredSettings() << QByteArray("\nCOM\nCOM::1\n")
                              << StoredSettings();
    const StoredSettings polish =
        stored("C:/Zdjęcia/Żółć.png", 2, {{"10.0.0.1", "9100", "Kasa Łódź", true}}, "COM3", true);
    QTest::newRow("Polish letters") << polish
                                    << QByteArray("C:/Zdj\xc4\x99"
                                                  "cia/\xc5\xbb\xc3\xb3\xc5\x82\xc4\x87.png\nTCP\n"
                                                  "Drukarka:TCP:10.0.0.1:9100:Kasa \xc5\x81\xc3\xb3"
                                                  "d\xc5\xba:1\nCOM:COM3:1\n")
                                    << polish;
    const StoredSettings word =
        stored("C:/Drukarka/Drukarka.png", 2, {{"10.0.0.1", "9100", "Drukarka Drukarka", true}},
               "COM3", true);
    QTest::newRow("Drukarka in path and name")
        << word
        << QByteArray("C:/Drukarka/Drukarka.png\nTCP\n"
                      "Drukarka:TCP:10.0.0.1:9100:Drukarka Drukarka:1\nCOM:COM3:1\n")
        << word;
}

void TstSettingsFormat::bothWays()
{
    QFETCH(StoredSettings, settings);
    QFETCH(QByteArray, content);
    QFETCH(StoredSettings, loaded);

    QCOMPARE(formatSettings(settings), content);
    QCOMPARE(parsed(content), loaded);
    QByteArray crlf = content;
    QCOMPARE(parsed(crlf.replace("\n", "\r\n")), loaded);
}

// Read only: files the program does not write.
void TstSettingsFormat::damagedFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("loaded");

    const auto row = [](const char *name, const QByteArray &content, const char *loaded) {
        QTest::newRow(name) << content << QString::fromUtf8(loaded);
    };
    row("empty", "", "|0|:1");
    row("one line", "C:/a.png", "|0|:1");
    row("one line ended", "C:/a.png\n", "C:/a.png|0|:1");
    row("only the word", "Drukarka Drukarka\nDrukarka\nDrukarka\n", "Drukarka Drukarka|0|:1");
    row("TCP, no printers", "p\nTCP\nCOM:COM3:0\n", "p|0|COM3:0");
    row("link line with both", "p\nTCP COM\nDrukarka:TCP:a:1:n:1\n", "p|1|:1|a,1,n,1");
    row("link line with neither", "p\nUSB\nDrukarka:TCP:a:1:n:1\n", "p|0|:1|a,1,n,1");
    row("selection other than 1",
        "p\nTCP\nDrukarka:TCP:a:1:n:0\nDrukarka:TCP:a:1:n:tak\nDrukarka:TCP:a:1:n:1 \n"
        "Drukarka:TCP:a:1:n:\nDrukarka:TCP:a:1:n:01\nDrukarka:TCP:a:1:n:1:x\n",
        "p|2|:1|a,1,n,0|a,1,n,0|a,1,n,0|a,1,n,0|a,1,n,0|a,1,n,1");
    row("too few fields",
        "p\nTCP\nDrukarka:TCP:10.0.0.1\nDrukarka:TCP:\nDrukarka:TCP:1:2\nCOM:COM3\n",
        "p|2|COM3:0|10.0.0.1,,,0|,,,0|1,2,,0");
    row("extra colons", "p:q\nTCP\nDrukarka:TCP:a:1:Kasa:2:1\nDrukarka:TCP:::::\nCOM:COM3:1:0\n",
        "p:q|2|COM3:1|a,1,Kasa,0|,,,0");
    row("more words than printer lines",
        "C:/Drukarka.png\nTCP\nDrukarka:TCP:a:1:Drukarka:1\nCOM:Drukarka:0\n",
        "C:/Drukarka.png|2|Drukarka:0|a,1,Drukarka,1");
    row("truncated in a printer line", "p\nTCP\nDrukarka:TCP:a:1:Ka", "p|2|:1|a,1,Ka,0");
    row("printer after a gap is not an entry",
        "p\nTCP\nDrukarka:TCP:a:1:n:1\n\nDrukarka:TCP:b:2:m:1\nCOM:COM3:1\n", "p|2|:1|a,1,n,1");
    row("COM line without COM", "p\nTCP\nDrukarka:TCP:a:1:n:1\nCOM3:1\n", "p|2|:1|a,1,n,1");
    row("path ending in two CRs", "C:/a.png\r\r\nCOM\n", "C:/a.png|0|:1");
    row("path with CR before NUL", QByteArray("C:/a.png\r\0x\nCOM\n", 16), "C:/a.png|0|:1");
}

void TstSettingsFormat::damagedFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, loaded);

    QCOMPARE(describe(parsed(content)), loaded);
    const QString broken = brokenInvariant(content);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TstSettingsFormat::keepsWhatTheFileDoesNotProvide()
{
    const StoredSettings before = stored("C:/stary.png", 1, {}, "COM7", false);
    StoredSettings s = before;
    parseSettings("C:/nowy.png", s);
    QCOMPARE(s, before);
    parseSettings("C:/nowy.png\nTCP\n", s);
    QCOMPARE(s, stored("C:/nowy.png", 1, {}, "COM7", false));
}

void TstSettingsFormat::randomDamage()
{
    QRandomGenerator rng(20240531);
    const int files = 60000;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < files; ++i) {
        const StoredSettings settings = randomSettings(rng);
        QByteArray file = formatSettings(settings);
        if (parsed(file) != loadedForm(settings))
            QFAIL(qPrintable(QStringLiteral("valid file %1 did not load: %2")
                                 .arg(i)
                                 .arg(QString::fromLatin1(file.toPercentEncoding()))));
        if (rng.bounded(4) == 0)
            file.replace("\n", "\r\n");
        for (int n = 1 + int(rng.bounded(4)); n > 0; --n)
            damage(file, rng);
        const QString broken = brokenInvariant(file);
        if (!broken.isEmpty())
            QFAIL(qPrintable(
                QStringLiteral("damaged file %1 (%2): %3")
                    .arg(i)
                    .arg(QString::fromLatin1(file.left(300).toPercentEncoding()), broken)));
    }
    qInfo("%d damaged files checked in %lld ms", files, clock.elapsed());
}

void TstSettingsFormat::enormousFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("printers");

    const QByteArray line = "Drukarka:TCP:192.168.1.50:9100:Kasa Łódź:1\n";
    QTest::newRow("long path, many printers")
        << QByteArray("C:/Obrazy/").repeated(2000000) + "\nTCP\n" + line.repeated(50000) +
               "COM:COM3:1\n"
        << 50000;
    QTest::newRow("one line of the word") << QByteArray("Drukarka").repeated(4000000) << 0;
    QRandomGenerator rng(7);
    QTest::newRow("binary") << randomBytes(rng, 32 << 20) << 0;
}

void TstSettingsFormat::enormousFile()
{
    QFETCH(QByteArray, content);
    QFETCH(int, printers);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(parsed(content).printerCount(), printers);
    const QString broken = brokenInvariant(content);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
    qInfo("%d MB checked in %lld ms", int(content.size() >> 20), clock.elapsed());
}

QTEST_APPLESS_MAIN(TstSettingsFormat)
#include "tst_settingsformat.moc"
