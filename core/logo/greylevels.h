#pragma once

#include <QtGlobal>

#include <array>
#include <cstddef>

// "Jasność": a gamma on the grey of every dot, before any method turns it into
// black and white. 0 changes nothing; +100 lightens to gamma 1/4, -100 darkens
// to gamma 4.
constexpr int darkestBrightness = -100;
constexpr int lightestBrightness = 100;

using GreyTable = std::array<uchar, 256>;

// Grey 0..255 to grey after the brightness; the identity at 0. Black and white
// stay what they are at every brightness.
GreyTable brightnessTable(int brightness);

// Otsu's level for the greys given by their histogram: the level (as Conversion's:
// darker than it is black) that best splits them into two classes. Where several
// split equally well (two tones with nothing between), the middle one; 128 when
// all dots have one grey.
int otsuLevel(const std::array<quint32, 256> &histogram);
