#include "core/logo/logoraster.h"
#include "core/logo/picturereader.h"
#include "support/greypng.h"

#include <QBuffer>
#include <QImage>
#include <QTest>

namespace {

// A 1-bit picture with every dot at colour index `index`. fill() also sets the
// scan-line padding bits, which the raster must not carry.
QImage monoPicture(int width, int height, uint index,
                   const QVector<QRgb> &colours = {qRgb(255, 255, 255), qRgb(0, 0, 0)})
{
    QImage picture(width, height, QImage::Format_Mono);
    picture.setColorTable(colours);
    picture.fill(index);
    return picture;
}

// `rows` raster rows: `padding` zero bytes, `bytes` 0xFF, zeros up to 52 bytes.
QByteArray rasterRows(int rows, int padding, int bytes, char last = '\xFF')
{
    QByteArray row = QByteArray(padding, '\0') + QByteArray(bytes - 1, '\xFF') + last;
    return (row + QByteArray(logoRowBytes - row.size(), '\0')).repeated(rows);
}

// Counts what the reader takes from it.
class CountingBuffer : public QBuffer
{
public:
    using QBuffer::QBuffer;
    qint64 taken = 0;

protected:
    qint64 readData(char *data, qint64 size) override
    {
        const qint64 n = QBuffer::readData(data, size);
        taken += std::max<qint64>(n, 0);
        return n;
    }
};

} // namespace

class TstLogoRaster : public QObject
{
    Q_OBJECT

private slots:
    void encodes_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<int>("scaleX");
        QTest::addColumn<int>("scaleY");
        QTest::addColumn<QByteArray>("raster"); // every row, 52 bytes each

        // Every byte value in order, so that byte and row order, the digits
        // (0x0A is "0A") and the length of 96 rows of 104 characters all show.
        QImage pattern = monoPicture(416, 96, 0);
        QByteArray scanLines;
        for (int i = 0; i < 96 * 52; ++i) {
            pattern.scanLine(i / 52)[i % 52] = uchar(i);
            scanLines += char(i);
        }
        QTest::newRow("100/100: the scan lines") << pattern << 100 << 100 << scanLines;

        const QImage black = monoPicture(416, 96, 1);
        QTest::newRow("X 50: bytes 13..38") << black << 50 << 100 << rasterRows(96, 13, 26);
        // w = 395: the scan line has 52 bytes with dirty padding; 51 fit after one zero byte.
        QTest::newRow("X 95") << monoPicture(395, 96, 1) << 95 << 100
                              << rasterRows(96, 1, 50, '\xE0');
        QTest::newRow("X 1: half a byte at 25")
            << black << 1 << 100 << rasterRows(96, 25, 1, '\xF0');
        QTest::newRow("Y 1 drops to no rows") << black << 100 << 1 << QByteArray();
        QTest::newRow("Y 50") << black << 100 << 50 << rasterRows(48, 0, 52);

        // Bits are colour indices, not colours: black at index 0 stays 0.
        QImage blackAtZero = monoPicture(832, 192, 1, {qRgb(0, 0, 0), qRgb(255, 255, 255)});
        for (int y = 0; y < blackAtZero.height(); ++y)
            memset(blackAtZero.scanLine(y), 0, 52);
        QTest::newRow("black at index 0 keeps its indices")
            << blackAtZero << 100 << 100 << rasterRows(96, 26, 26);
    }

    void encodes()
    {
        QFETCH(QImage, picture);
        QFETCH(int, scaleX);
        QFETCH(int, scaleY);
        QFETCH(QByteArray, raster);
        const LogoRaster encoded = encodeLogoRaster(picture, scaleX, scaleY);
        QCOMPARE(encoded.lineCount, raster.size() / 52);
        QCOMPARE(encoded.hex, raster.toHex().toUpper());
    }

    // A picture whose header announces more than the limit is refused before
    // its data is read; a 48-megapixel photo is decoded.
    void readsPictureWithinLimit_data()
    {
        QTest::addColumn<quint32>("width");
        QTest::addColumn<quint32>("height");
        QTest::addColumn<bool>("decoded");
        QTest::newRow("48 MP") << 8000u << 6000u << true;
        QTest::newRow("just over 1 GiB at 4 bytes a dot") << 16385u << 16384u << false;
        QTest::newRow("40000 x 40000") << 40000u << 40000u << false;
        QTest::newRow("a million dots wide") << 1000000u << 300u << false;
    }

    void readsPictureWithinLimit()
    {
        QFETCH(quint32, width);
        QFETCH(quint32, height);
        QFETCH(bool, decoded);
        const QByteArray png = greyPng(width, height, decoded ? height : 64);
        CountingBuffer device;
        device.setData(png);
        QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        const QImage picture = readPicture(&device);
        QCOMPARE(picture.size(), decoded ? QSize(int(width), int(height)) : QSize(0, 0));
        // The header and a little look-ahead; the data that follows is kilobytes.
        if (!decoded)
            QVERIFY2(device.taken < 128, qPrintable(QString::number(device.taken)));
    }
};

QTEST_APPLESS_MAIN(TstLogoRaster)
#include "tst_logoraster.moc"
