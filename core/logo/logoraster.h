#pragma once

#include <QByteArray>

class QImage;

// The printer's logo area: 416 dots (52 bytes) wide, at most 96 rows.
constexpr int logoWidthDots = 416;
constexpr int logoRowBytes = logoWidthDots / 8;
constexpr int logoMaxRows = 96;
constexpr int logoRowHexChars = 2 * logoRowBytes;

struct LogoRaster
{
    QByteArray hex; // upper-case hexadecimal, logoRowHexChars per row
    int lineCount = 0;
};

// Scales the 1-bit picture to the given percentages of the logo area and centres
// each row, to a whole byte, in a 52-byte printer row. Bits are the picture's
// colour indices as they are.
LogoRaster encodeLogoRaster(const QImage &image, int scaleXPercent, int scaleYPercent);
