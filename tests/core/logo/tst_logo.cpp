// The logo from a picture: the raster it gives (read in bounded memory), the
// dithering methods and transparency, "Jasność" (neutral changes nothing) and
// the automatic level (Otsu splits two tones), both kept in conversion.txt.
#include "core/logo/conversionfile.h"
#include "core/logo/greylevels.h"
#include "core/logo/logoconversion.h"
#include "core/logo/logoraster.h"
#include "core/logo/picturereader.h"
#include "support/greypng.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QPainter>
#include <QTest>

Q_DECLARE_METATYPE(Dither)
Q_DECLARE_METATYPE(Conversion)

namespace {

// Colours from a formula, so that no font or Qt drawing can change them.
QImage formulaPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y,
                             qRgb((x * 7 + y * 3) % 256, (x * y / 5) % 256, (x + 2 * y) % 256));
    return picture;
}

// Two greys at the logo's size: the darker in the left `darkShare` percent.
QImage twoTones(int dark, int light, int darkShare)
{
    QImage picture(416, 96, QImage::Format_RGB32);
    picture.fill(qRgb(light, light, light));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width() * darkShare / 100; ++x)
            picture.setPixel(x, y, qRgb(dark, dark, dark));
    return picture;
}

int blackDots(const LogoRaster &raster)
{
    int count = 0;
    for (const char byte : QByteArray::fromHex(raster.hex))
        count += qPopulationCount(quint8(byte));
    return count;
}

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

// Dark text-like bars on a transparent background, as shops' logo files are:
// the transparent dots hold black colour values, which used to print.
QImage transparentLogo()
{
    QImage logo(416, 96, QImage::Format_ARGB32);
    logo.fill(Qt::transparent);
    QPainter painter(&logo);
    painter.fillRect(100, 30, 200, 20, QColor(0, 0, 0));
    painter.fillRect(100, 60, 200, 20, QColor(0, 0, 0, 128)); // half transparent
    return logo;
}

// A colour gradient whose dithering is worth comparing dot for dot.
QImage opaquePicture(QImage::Format format)
{
    QImage picture(300, 200, format);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgba(x * 255 / 299, y * 255 / 199, (x * y) % 256, 255));
    return picture;
}

int blackDots(const QImage &picture, const QRect &area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += qGray(picture.pixel(x, y)) < 128;
    return count;
}

} // namespace

class TstLogo : public QObject
{
    Q_OBJECT

private slots:
    // The rasters as they were before "Jasność" existed (MD5 of the hex), for a
    // picture the smooth reduction shrinks and one it reduces first.
    void neutralKeepsTheRaster_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<Dither>("method");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<QByteArray>("md5");
        const QSize small(700, 260), large(2600, 700);
        QTest::newRow("diffusion") << small << Dither::Diffusion << 95 << 80
                                   << QByteArray("a0dab43169ca69945763eb4391553d6a");
        QTest::newRow("threshold") << small << Dither::Threshold << 50 << 33
                                   << QByteArray("0b73489115ec38cb1ac7a7966ae38d3b");
        QTest::newRow("atkinson") << small << Dither::Atkinson << 95 << 80
                                  << QByteArray("708fcea44614a3ba7c4fff247ee05bc1");
        QTest::newRow("large diffusion") << large << Dither::Diffusion << 50 << 33
                                         << QByteArray("79c5189d96c78947f9494fd7ff9d8e78");
    }
    void neutralKeepsTheRaster()
    {
        QFETCH(QSize, size);
        QFETCH(Dither, method);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(QByteArray, md5);
        const LogoRaster raster =
            buildLogoRaster(formulaPicture(size.width(), size.height()), x, y, {method, 90});
        QCOMPARE(QCryptographicHash::hash(raster.hex, QCryptographicHash::Md5).toHex(), md5);
    }

    // Lighter gives fewer black dots with every method, darker more.
    void brightnessLightensAndDarkens()
    {
        const QImage picture = formulaPicture(700, 260);
        for (const Dither method : {Dither::Diffusion, Dither::Threshold, Dither::Atkinson}) {
            int previous = 416 * 96 + 1;
            for (int brightness : {-100, -40, 0, 40, 100}) {
                const int black =
                    blackDots(buildLogoRaster(picture, 100, 100, {method, 128, false, brightness}));
                QVERIFY2(
                    black < previous,
                    qPrintable(
                        QStringLiteral("%1, %2: %3").arg(int(method)).arg(brightness).arg(black)));
                previous = black;
            }
        }
    }

    // The automatic level falls between the two tones whatever their shares and
    // the brightness, so the dark part prints black and the light one white.
    void otsuSplitsTwoTones_data()
    {
        QTest::addColumn<int>("dark");
        QTest::addColumn<int>("light");
        QTest::addColumn<int>("share");
        QTest::addColumn<int>("brightness");
        QTest::newRow("black and white, half") << 0 << 255 << 50 << 0;
        QTest::newRow("close greys, mostly dark") << 100 << 110 << 90 << 0;
        QTest::newRow("far above 128, a tenth dark") << 180 << 240 << 10 << 0;
        QTest::newRow("lightened") << 60 << 120 << 50 << 60;
    }
    void otsuSplitsTwoTones()
    {
        QFETCH(int, dark);
        QFETCH(int, light);
        QFETCH(int, share);
        QFETCH(int, brightness);
        int level = 0;
        const LogoRaster raster =
            buildLogoRaster(twoTones(dark, light, share), 100, 100,
                            {Dither::Threshold, 128, true, brightness}, &level);
        const GreyTable table = brightnessTable(brightness);
        QVERIFY2(table[size_t(dark)] < level && level <= table[size_t(light)],
                 qPrintable(QString::number(level)));
        QCOMPARE(blackDots(raster), 416 * share / 100 * 96);
        // The middle of the gap, not its edge.
        if (brightness == 0)
            QVERIFY(qAbs(level - (dark + light + 1) / 2) <= 1);
    }

    void conversionFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Conversion>("conversion");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("older file: neutral, its level")
            << QByteArray("dither=threshold\nlevel=90\n") << Conversion{Dither::Threshold, 90}
            << QByteArray("dither=threshold\nlevel=90\n");
        QTest::newRow("automatic level, lighter")
            << QByteArray("dither=threshold\r\nlevel=auto\r\nbrightness=30\r\n")
            << Conversion{Dither::Threshold, 128, true, 30}
            << QByteArray("dither=threshold\nlevel=auto\nbrightness=30\n");
        QTest::newRow("darker, out of range")
            << QByteArray("brightness=-400\nlevel=x\n")
            << Conversion{Dither::Diffusion, 128, false, -100}
            << QByteArray("dither=diffusion\nlevel=128\nbrightness=-100\n");
    }
    void conversionFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(Conversion, conversion);
        QFETCH(QByteArray, written);
        QVERIFY(parseConversionFile(content) == conversion);
        QCOMPARE(formatConversionFile(conversion), written);
    }

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

    // Transparent dots come out white with every method, opaque dark ones black,
    // half-transparent black as a mid grey.
    void transparentPictureGoesOnWhite()
    {
        const QImage logo = transparentLogo();
        for (Dither method : {Dither::Diffusion, Dither::Threshold, Dither::Atkinson}) {
            const QImage printed = rasterPicture(buildLogoRaster(logo, 100, 100, {method, 128}));
            QCOMPARE(printed.size(), QSize(416, 96));
            const int outside =
                blackDots(printed, printed.rect()) - blackDots(printed, QRect(100, 30, 200, 50));
            QCOMPARE(outside, 0);
            QCOMPARE(blackDots(printed, QRect(100, 30, 200, 20)), 200 * 20);
            if (method != Dither::Threshold) {
                const int half = blackDots(printed, QRect(100, 60, 200, 20));
                QVERIFY2(half > 1400 && half < 2600, qPrintable(QString::number(half)));
            }
        }
        QCOMPARE(onWhite(logo).pixel(0, 0), qRgb(255, 255, 255));
        QCOMPARE(onWhite(logo).pixel(150, 70), qRgb(127, 127, 127));
    }

    // Without transparency the default conversion is the one the window always
    // had, bit for bit: dither at full size, then scale.
    void opaquePictureKeepsItsRaster()
    {
        QImage blackAtZero(200, 50, QImage::Format_Mono);
        blackAtZero.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        blackAtZero.fill(1);
        blackAtZero.scanLine(10)[3] = 0x5A;
        for (const QImage &picture : {opaquePicture(QImage::Format_RGB32),
                                      opaquePicture(QImage::Format_ARGB32), blackAtZero}) {
            const QImage before = picture.convertToFormat(QImage::Format_Mono, Qt::MonoOnly);
            QCOMPARE(toOneBit(picture), before);
            for (const auto &[x, y] : {std::pair{100, 100}, {50, 33}, {95, 80}, {1, 100}}) {
                const LogoRaster raster = buildLogoRaster(picture, x, y, {});
                const LogoRaster old = encodeLogoRaster(before, x, y);
                QCOMPARE(raster.lineCount, old.lineCount);
                QCOMPARE(raster.hex, old.hex);
            }
        }
    }

    // A left-to-right grey ramp at the logo's size: black exactly where the
    // luminance is below the level.
    void thresholdOnGreyRamp_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("firstWhite"); // first white column
        QTest::newRow("128") << 128 << 209;
        QTest::newRow("1") << 1 << 2;
        QTest::newRow("254") << 254 << 414;
    }

    void thresholdOnGreyRamp()
    {
        QFETCH(int, level);
        QFETCH(int, firstWhite);
        QImage ramp(416, 96, QImage::Format_RGB32);
        for (int x = 0; x < 416; ++x) {
            const int grey = x * 255 / 415; // below 128 up to x = 208
            for (int y = 0; y < 96; ++y)
                ramp.setPixel(x, y, qRgb(grey, grey, grey));
        }
        const QImage printed =
            rasterPicture(buildLogoRaster(ramp, 100, 100, {Dither::Threshold, level}));
        for (int y : {0, 95}) {
            for (int x = 0; x < 416; ++x)
                QCOMPARE(qGray(printed.pixel(x, y)) == 0, x < firstWhite);
        }
    }

    // Atkinson keeps plain areas plain, and a mid grey gets a dither.
    void atkinsonKeepsPlainAreas()
    {
        QImage picture(800, 300, QImage::Format_RGB32);
        for (const auto &[fill, least, most] :
             {std::tuple{QColor(Qt::white), 0, 0},
              {QColor(Qt::black), 416 * 96, 416 * 96},
              {QColor(128, 128, 128), 416 * 96 / 3, 416 * 96 * 2 / 3}}) {
            picture.fill(fill);
            const QImage printed =
                rasterPicture(buildLogoRaster(picture, 100, 100, {Dither::Atkinson, 128}));
            const int black = blackDots(printed, printed.rect());
            QVERIFY2(black >= least && black <= most, qPrintable(QString::number(black)));
        }
    }

    void fitsProportions_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::newRow("square icon") << QSize(64, 64) << 23 << 100;
        QTest::newRow("wide text") << QSize(1200, 250) << 100 << 90;
        QTest::newRow("the logo's size") << QSize(416, 96) << 100 << 100;
        QTest::newRow("a thin line keeps a row") << QSize(100000, 1) << 100 << 2;
        QTest::newRow("a tall strip keeps a dot") << QSize(1, 100000) << 1 << 100;
    }

    void fitsProportions()
    {
        QFETCH(QSize, picture);
        QFETCH(int, x);
        QFETCH(int, y);
        const Proportions fit = fitProportions(picture);
        QCOMPARE(fit.xPercent, x);
        QCOMPARE(fit.yPercent, y);
    }

    void namesMethods()
    {
        Dither method = Dither::Diffusion;
        QVERIFY(parseDither(QStringLiteral("atkinson"), &method) && method == Dither::Atkinson);
        QVERIFY(!parseDither(QStringLiteral("Threshold"), &method) && method == Dither::Atkinson);
    }
};

QTEST_APPLESS_MAIN(TstLogo)
#include "tst_logo.moc"
