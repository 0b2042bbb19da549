#include "core/logo/logoconversion.h"

#include "core/logo/greylevels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

// Dots of the logo for the slider percentages, as the raster counts them.
QSize logoDots(int xPercent, int yPercent)
{
    return {std::clamp(xPercent, 0, 100) * logoWidthDots / 100,
            std::clamp(yPercent, 0, 100) * logoMaxRows / 100};
}

// A photo of tens of megapixels is averaged down once to a size from which any
// logo size is still a smooth reduction.
constexpr int reducedWidth = 4 * logoWidthDots;
constexpr int reducedHeight = 4 * logoMaxRows;

QImage reduce(const QImage &picture)
{
    const QImage white = onWhite(picture);
    const QSize size(std::min(white.width(), reducedWidth),
                     std::min(white.height(), reducedHeight));
    if (size == white.size())
        return white.convertToFormat(QImage::Format_RGB32);
    return white.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB32);
}

// Luminance of every dot after the brightness, row after row.
std::vector<int> luminance(const QImage &rgb, const GreyTable &brightness)
{
    std::vector<int> grey(size_t(rgb.width()) * size_t(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            grey[size_t(y) * size_t(rgb.width()) + size_t(x)] = brightness[size_t(qGray(line[x]))];
    }
    return grey;
}

int otsuLevelOf(const std::vector<int> &grey)
{
    std::array<quint32, 256> histogram{};
    for (const int dot : grey)
        ++histogram[size_t(dot)];
    return otsuLevel(histogram);
}

void diffuseAtkinson(std::vector<int> &grey, int width, int height)
{
    // Six neighbours get an eighth of the error each; the last quarter is
    // dropped, which keeps light areas clean.
    static const int offsets[6][2] = {{1, 0}, {2, 0}, {-1, 1}, {0, 1}, {1, 1}, {0, 2}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int &dot = grey[size_t(y) * size_t(width) + size_t(x)];
            const int set = dot < 128 ? 0 : 255;
            const int error = (dot - set) / 8;
            dot = set;
            for (const auto &offset : offsets) {
                const int nx = x + offset[0];
                const int ny = y + offset[1];
                if (nx >= 0 && nx < width && ny < height)
                    grey[size_t(ny) * size_t(width) + size_t(nx)] += error;
            }
        }
    }
}

// Qt's dithering reads an 8-bit picture's greys through its palette: the
// brightness goes there, and the dots stay the neutral greys.
QImage &ditherPalette(QImage &grey, int brightness)
{
    const GreyTable table = brightnessTable(brightness);
    QVector<QRgb> greys(256);
    for (int level = 0; level < 256; ++level)
        greys[level] = qRgb(table[size_t(level)], table[size_t(level)], table[size_t(level)]);
    grey.setColorTable(greys);
    return grey;
}

} // namespace

QImage onWhite(const QImage &picture)
{
    if (!picture.hasAlphaChannel())
        return picture;
    // Premultiplied colour plus the white that shows through.
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage result(source.size(), QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        auto *out = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            const int clear = 255 - qAlpha(in[x]);
            out[x] = qRgb(qRed(in[x]) + clear, qGreen(in[x]) + clear, qBlue(in[x]) + clear);
        }
    }
    return result;
}

bool Conversion::operator==(const Conversion &other) const
{
    return method == other.method && level == other.level && autoLevel == other.autoLevel &&
           brightness == other.brightness;
}

QImage toOneBit(const QImage &picture, int brightness)
{
    if (brightness != 0) {
        QImage grey = greyPicture(picture);
        if (!grey.isNull())
            return ditherGrey(grey, brightness);
    }
    return onWhite(picture).convertToFormat(QImage::Format_Mono, Qt::MonoOnly);
}

QImage greyPicture(const QImage &picture)
{
    const QImage white = onWhite(picture);
    // Black and white stay what they are at any brightness.
    if (white.isNull() || white.depth() == 1)
        return {};
    const bool indexed = white.format() == QImage::Format_Indexed8;
    const bool bytes = white.format() == QImage::Format_Grayscale8;
    const QImage source = indexed || bytes || white.format() == QImage::Format_RGB32
                              ? white
                              : white.convertToFormat(QImage::Format_RGB32);
    QImage grey(source.size(), QImage::Format_Indexed8);
    if (grey.isNull())
        return grey;
    std::array<uchar, 256> paletteGrey{};
    for (int i = 0; i < source.colorCount() && i < 256; ++i)
        paletteGrey[size_t(i)] = uchar(qGray(source.color(i)));
    for (int y = 0; y < source.height(); ++y) {
        uchar *out = grey.scanLine(y);
        const uchar *in = source.constScanLine(y);
        if (indexed) {
            for (int x = 0; x < source.width(); ++x)
                out[x] = paletteGrey[in[x]];
        } else if (bytes) {
            std::copy_n(in, source.width(), out);
        } else {
            const auto *rgb = reinterpret_cast<const QRgb *>(in);
            for (int x = 0; x < source.width(); ++x)
                out[x] = uchar(qGray(rgb[x]));
        }
    }
    return ditherPalette(grey, 0);
}

QImage ditherGrey(QImage &grey, int brightness)
{
    return ditherPalette(grey, brightness).convertToFormat(QImage::Format_Mono, Qt::MonoOnly);
}

PreparedPicture preparePicture(const QImage &picture, const Conversion &conversion)
{
    PreparedPicture prepared;
    if (picture.isNull())
        return prepared;
    if (conversion.method == Dither::Diffusion)
        prepared.oneBit = toOneBit(picture, conversion.brightness);
    else
        prepared.reduced = reduce(picture);
    return prepared;
}

LogoRaster buildLogoRaster(const QImage &picture, int xPercent, int yPercent,
                           const Conversion &conversion, int *levelUsed)
{
    return buildLogoRaster(preparePicture(picture, conversion), xPercent, yPercent, conversion,
                           levelUsed);
}

LogoRaster buildLogoRaster(const PreparedPicture &prepared, int xPercent, int yPercent,
                           const Conversion &conversion, int *levelUsed)
{
    int level = std::clamp(conversion.level, 1, 254);
    if (levelUsed)
        *levelUsed = level;
    if (conversion.method == Dither::Diffusion)
        return encodeLogoRaster(prepared.oneBit, xPercent, yPercent);

    const QSize dots = logoDots(xPercent, yPercent);
    if (prepared.reduced.isNull() || dots.isEmpty())
        return {};
    const QImage scaled =
        prepared.reduced.scaled(dots, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
    const int width = scaled.width();
    const int height = scaled.height();
    std::vector<int> grey = luminance(scaled, brightnessTable(conversion.brightness));
    if (conversion.method == Dither::Threshold) {
        if (conversion.autoLevel)
            level = otsuLevelOf(grey);
        if (levelUsed)
            *levelUsed = level;
    } else {
        level = 128;
        diffuseAtkinson(grey, width, height);
    }

    QImage mono(width, height, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.fill(0);
    for (int y = 0; y < height; ++y) {
        uchar *line = mono.scanLine(y);
        for (int x = 0; x < width; ++x) {
            if (grey[size_t(y) * size_t(width) + size_t(x)] < level)
                line[x >> 3] |= uchar(0x80 >> (x & 7));
        }
    }
    // Already at the logo's size: the encoder only places the rows.
    return encodeLogoRaster(mono, xPercent, yPercent);
}

Proportions fitProportions(const QSize &pictureSize)
{
    Proportions fit;
    if (pictureSize.isEmpty())
        return fit;
    const double aspect = double(pictureSize.width()) / pictureSize.height();
    const double logoAspect = double(logoWidthDots) / logoMaxRows;
    // The axis that fills stays at 100; the other gets the nearest percentage,
    // and where two are equally near, the one whose dots keep the proportions best.
    const bool wide = aspect >= logoAspect;
    const double ideal = wide ? 100.0 * logoAspect / aspect : 100.0 * aspect / logoAspect;
    const auto dotAspect = [&](int percent) {
        const QSize dots = wide ? logoDots(100, percent) : logoDots(percent, 100);
        return dots.isEmpty() ? 1e9
                              : std::abs(std::log(double(dots.width()) / dots.height() / aspect));
    };
    // At least one row and one dot.
    const int least = wide ? 2 : 1;
    const int lower = std::clamp(int(std::floor(ideal)), least, 100);
    const int upper = std::clamp(int(std::ceil(ideal)), least, 100);
    int percent = lower;
    const double lowerOff = std::abs(ideal - lower);
    const double upperOff = std::abs(upper - ideal);
    if (upperOff < lowerOff - 1e-9 ||
        (std::abs(upperOff - lowerOff) <= 1e-9 && dotAspect(upper) < dotAspect(lower)))
        percent = upper;
    if (wide)
        fit.yPercent = percent;
    else
        fit.xPercent = percent;
    return fit;
}

QImage rasterPicture(const LogoRaster &raster)
{
    const QByteArray bytes = QByteArray::fromHex(raster.hex);
    const int rows = std::min(raster.lineCount, int(bytes.size() / logoRowBytes));
    QImage picture(logoWidthDots, rows, QImage::Format_Mono);
    if (picture.isNull())
        return picture;
    picture.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int r = 0; r < rows; ++r)
        std::copy_n(bytes.constData() + r * logoRowBytes, logoRowBytes,
                    reinterpret_cast<char *>(picture.scanLine(r)));
    return picture;
}

QImage placedDots(const LogoRaster &raster, int xPercent)
{
    const QImage whole = rasterPicture(raster);
    const int width = logoDots(xPercent, 100).width();
    if (whole.isNull() || width <= 0)
        return {};
    // Where encodeLogoRaster put the picture: centred to a whole byte.
    return whole.copy((logoWidthDots - width) / 16 * 8, 0, width, whole.height());
}

bool parseDither(const QString &name, Dither *method)
{
    for (Dither candidate : {Dither::Diffusion, Dither::Threshold, Dither::Atkinson}) {
        if (name == ditherName(candidate)) {
            if (method)
                *method = candidate;
            return true;
        }
    }
    return false;
}

QString ditherName(Dither method)
{
    switch (method) {
    case Dither::Threshold:
        return QStringLiteral("threshold");
    case Dither::Atkinson:
        return QStringLiteral("atkinson");
    case Dither::Diffusion:
        break;
    }
    return QStringLiteral("diffusion");
}
