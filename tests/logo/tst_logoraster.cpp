#include "logo/logoraster.h"

#include <QImage>
#include <QRegularExpression>
#include <QTest>

namespace {

// A 1-bit picture with every dot at the given colour index. fill() also sets the
// scan-line padding bits, which the raster must not carry.
QImage monoPicture(int width, int height, uint index, QRgb colour0 = qRgb(255, 255, 255),
                   QRgb colour1 = qRgb(0, 0, 0))
{
    QImage picture(width, height, QImage::Format_Mono);
    picture.setColorTable({colour0, colour1});
    picture.fill(index);
    return picture;
}

// One raster row: `padding` zero bytes, the picture bytes, zeros up to 52 bytes.
QByteArray rasterRow(int padding, const QByteArray &picture)
{
    QByteArray row = QByteArray(padding, '\0') + picture;
    return row + QByteArray(logoRowBytes - row.size(), '\0');
}

QByteArray ones(int count)
{
    return QByteArray(count, '\xFF');
}

} // namespace

class TstLogoRaster : public QObject
{
    Q_OBJECT

private slots:
    void encodesScaledRows_data();
    void encodesScaledRows();
    void fullSizeRowsAreTheScanLines();
};

void TstLogoRaster::encodesScaledRows_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<int>("scaleX");
    QTest::addColumn<int>("scaleY");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QByteArray>("row");

    const QImage black = monoPicture(416, 96, 1);
    QTest::newRow("100/100, large picture")
        << monoPicture(1000, 300, 1) << 100 << 100 << 96 << ones(52);
    QTest::newRow("100/100, tiny picture") << monoPicture(3, 2, 1) << 100 << 100 << 96 << ones(52);
    QTest::newRow("white picture")
        << monoPicture(416, 96, 0) << 100 << 100 << 96 << rasterRow(0, {});
    QTest::newRow("X 50: centred at byte 13")
        << black << 50 << 100 << 96 << rasterRow(13, ones(26));
    // w = 395: a 52-byte scan line of which 51 bytes fit after one padding byte.
    QTest::newRow("X 95, scaled") << black << 95 << 100 << 96 << rasterRow(1, ones(49) + '\xE0');
    QTest::newRow("X 95, dirty scan-line padding")
        << monoPicture(395, 96, 1) << 95 << 100 << 96 << rasterRow(1, ones(49) + '\xE0');
    QTest::newRow("X 1: half a byte at 25")
        << black << 1 << 100 << 96 << rasterRow(25, QByteArray("\xF0"));
    QTest::newRow("X 0") << black << 0 << 100 << 0 << QByteArray();
    QTest::newRow("Y 1 drops to no rows") << black << 100 << 1 << 0 << QByteArray();
    QTest::newRow("Y 0") << black << 100 << 0 << 0 << QByteArray();
    QTest::newRow("Y 33") << black << 100 << 33 << 31 << ones(52);
    QTest::newRow("Y 50") << black << 100 << 50 << 48 << ones(52);
    QTest::newRow("no picture") << QImage() << 100 << 100 << 0 << QByteArray();

    // Bits are colour indices, not colours: black at index 0 stays 0.
    QImage blackAtZero = monoPicture(832, 192, 1, qRgb(0, 0, 0), qRgb(255, 255, 255));
    for (int y = 0; y < blackAtZero.height(); ++y)
        memset(blackAtZero.scanLine(y), 0, 52); // left half: index 0, black
    QTest::newRow("black at index 0 keeps its indices")
        << blackAtZero << 100 << 100 << 96 << rasterRow(0, QByteArray(26, '\0') + ones(26));
}

void TstLogoRaster::encodesScaledRows()
{
    QFETCH(QImage, picture);
    QFETCH(int, scaleX);
    QFETCH(int, scaleY);
    QFETCH(int, rows);
    QFETCH(QByteArray, row);

    const LogoRaster raster = encodeLogoRaster(picture, scaleX, scaleY);
    QCOMPARE(raster.lineCount, rows);
    QCOMPARE(raster.hex.size(), rows * 104);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]*$"))
                .match(QString::fromLatin1(raster.hex))
                .hasMatch());
    QCOMPARE(QByteArray::fromHex(raster.hex), row.repeated(rows));
}

void TstLogoRaster::fullSizeRowsAreTheScanLines()
{
    // Every byte value in order, so that byte order, row order and the hex
    // digits are all visible.
    QImage picture(416, 96, QImage::Format_Mono);
    picture.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    QByteArray expected;
    for (int y = 0; y < 96; ++y) {
        uchar *line = picture.scanLine(y);
        for (int x = 0; x < 52; ++x) {
            line[x] = uchar(y * 52 + x);
            expected += QString::asprintf("%02X", line[x]).toLatin1();
        }
    }

    const LogoRaster raster = encodeLogoRaster(picture, 100, 100);
    QCOMPARE(raster.lineCount, 96);
    QCOMPARE(raster.hex.size(), 9984);
    QCOMPARE(raster.hex.mid(20, 2), QByteArray("0A"));
    QCOMPARE(raster.hex, expected);
}

QTEST_APPLESS_MAIN(TstLogoRaster)
#include "tst_logoraster.moc"
