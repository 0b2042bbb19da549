#pragma once

#include <QByteArray>
#include <QByteArrayList>

// A 1-bit greyscale PNG, one pixel per dot, set bits black. Each row holds
// widthDots / 8 bytes, most significant bit leftmost. Needs no image library.
QByteArray encodeMonoPng(const QByteArrayList &rows, int widthDots);
