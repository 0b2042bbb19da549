#pragma once

#include <QByteArray>

// One graphic frame programs one raster row into the printer's header or footer.
constexpr int frameSize = 130;
constexpr int frameRowField = 6;
constexpr int frameLastRowFlag = 9;
constexpr int framePlacementFlag = 16;
constexpr int framePayload = 23;
constexpr int framePayloadSize = 104;

enum class LogoPlacement { Header, Footer };

// The frame with row "00", last-row flag "0" and spaces in the payload.
QByteArray buildFrameTemplate(LogoPlacement placement);

// Fills row `row` (1-based) of the raster into the frame in place. Refuses, and
// leaves the frame untouched, unless the frame is a whole frame, 1 <= row <=
// lineCount and logoHex holds that row.
bool fillFrameRow(QByteArray &frame, int row, int lineCount, const QByteArray &logoHex);
