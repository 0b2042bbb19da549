#include "core/printer/frame.h"

#include <cstring>

QByteArray buildFrameTemplate(LogoPlacement placement)
{
    QByteArray frame;
    frame.reserve(frameSize);
    frame += "\x1BP251;00;0;53;0;";
    frame += placement == LogoPlacement::Header ? '0' : '1';
    frame += ";170$d";
    frame += QByteArray(framePayloadSize, ' ');
    frame += "\x1B\\\x05";
    return frame;
}

bool fillFrameRow(QByteArray &frame, int row, int lineCount, const QByteArray &logoHex)
{
    if (frame.size() != frameSize || row < 1 || row > lineCount || row > 99 ||
        qint64(row) * framePayloadSize > logoHex.size())
        return false;
    char *out = frame.data();
    out[frameRowField] = char('0' + row / 10);
    out[frameRowField + 1] = char('0' + row % 10);
    if (row == lineCount)
        out[frameLastRowFlag] = '1';
    std::memcpy(out + framePayload, logoHex.constData() + (row - 1) * framePayloadSize,
                framePayloadSize);
    return true;
}
