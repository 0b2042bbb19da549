#pragma once

#include <QByteArray>
#include <QtEndian>

// A grey 8-bit PNG of the given size whose data holds only the first `rows`
// rows (all black), so that a header can announce far more than the file carries.
inline QByteArray greyPng(quint32 width, quint32 height, quint32 rows)
{
    const auto chunk = [](const char *type, const QByteArray &body) {
        QByteArray typed = QByteArray(type) + body;
        quint32 crc = 0xFFFFFFFFu;
        for (const char byte : typed) {
            crc ^= quint8(byte);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        QByteArray out(4, '\0');
        qToBigEndian(quint32(body.size()), out.data());
        out += typed + QByteArray(4, '\0');
        qToBigEndian(~crc, out.data() + out.size() - 4);
        return out;
    };
    QByteArray header(13, '\0');
    qToBigEndian(width, header.data());
    qToBigEndian(height, header.data() + 4);
    header[8] = 8; // bits per sample; colour type 0 (grey), no interlace
    // qCompress puts the length in front of the zlib stream.
    const QByteArray data = qCompress(QByteArray(qsizetype(width + 1) * rows, '\0')).mid(4);
    return QByteArray("\x89PNG\r\n\x1A\n") + chunk("IHDR", header) + chunk("IDAT", data) +
           chunk("IEND", {});
}
