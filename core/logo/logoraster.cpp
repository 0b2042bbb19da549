#include "core/logo/logoraster.h"

#include <QImage>

#include <algorithm>
#include <cstring>

LogoRaster encodeLogoRaster(const QImage &image, int scaleXPercent, int scaleYPercent)
{
    LogoRaster raster;
    const int width = std::clamp(scaleXPercent, 0, 100) * logoWidthDots / 100;
    const int height = std::clamp(scaleYPercent, 0, 100) * logoMaxRows / 100;
    if (image.isNull() || width <= 0 || height <= 0)
        return raster;

    QImage scaled = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (scaled.format() != QImage::Format_Mono)
        scaled = scaled.convertToFormat(QImage::Format_Mono);
    const int w = scaled.width();
    raster.lineCount = std::min(scaled.height(), logoMaxRows);

    const int padding = (logoWidthDots - w) / 16;
    // Only whole picture bytes are copied; the bits past the width are masked,
    // since the scan-line padding of a scaled picture is not guaranteed to be 0.
    const int pictureBytes = std::min((w + 7) / 8, logoRowBytes - padding);
    const int tailBits = w % 8;
    const bool lastByteCut = tailBits != 0 && pictureBytes == (w + 7) / 8;
    const uchar tailMask = uchar(0xFF << (8 - tailBits));

    QByteArray bytes(raster.lineCount * logoRowBytes, '\0');
    for (int r = 0; r < raster.lineCount; ++r) {
        char *row = bytes.data() + r * logoRowBytes + padding;
        std::memcpy(row, scaled.constScanLine(r), size_t(pictureBytes));
        if (lastByteCut)
            row[pictureBytes - 1] = char(uchar(row[pictureBytes - 1]) & tailMask);
    }
    raster.hex = bytes.toHex().toUpper();
    return raster;
}
