#include "monopng.h"

#include <QtEndian>

#include <array>

namespace {

quint32 crc32(const QByteArray &data)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (const char byte : data)
        c = table[(c ^ uchar(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

QByteArray bigEndian(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray chunk(const char *type, const QByteArray &data)
{
    const QByteArray typed = QByteArray(type, 4) + data;
    return bigEndian(quint32(data.size())) + typed + bigEndian(crc32(typed));
}

} // namespace

QByteArray encodeMonoPng(const QByteArrayList &rows, int widthDots)
{
    const int rowBytes = (widthDots + 7) / 8;
    QByteArray header = bigEndian(quint32(widthDots)) + bigEndian(quint32(rows.size()));
    header += QByteArray("\x01\x00\x00\x00\x00", 5); // depth 1, greyscale, no interlace

    // Greyscale 0 is black: the printer's set bits are inverted. Filter 0 per row.
    QByteArray raw;
    raw.reserve(rows.size() * (rowBytes + 1));
    for (const QByteArray &row : rows) {
        raw += '\0';
        for (int i = 0; i < rowBytes; ++i)
            raw += char(~uchar(i < row.size() ? row.at(i) : 0));
    }
    // qCompress puts a 4-byte length before a plain zlib stream.
    const QByteArray zlib = qCompress(raw, 9).mid(4);

    return QByteArray("\x89PNG\r\n\x1A\n", 8) + chunk("IHDR", header) + chunk("IDAT", zlib) +
           chunk("IEND", {});
}
