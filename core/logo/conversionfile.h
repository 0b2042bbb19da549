#pragma once

#include "core/logo/logoconversion.h"

#include <QByteArray>

// The conversion chosen in the print preview, kept beside settings.txt in a file
// of its own, since older copies of the program read settings.txt:
//
//   dither=threshold
//   level=128          (or level=auto: Otsu's level on the picture as placed)
//   brightness=-20     (only when not neutral)
//
// Unknown lines and values are ignored; what is missing keeps its default.
constexpr char conversionFileName[] = "conversion.txt";

QByteArray formatConversionFile(const Conversion &conversion);
Conversion parseConversionFile(const QByteArray &content);
