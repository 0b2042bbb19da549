#include "core/logo/conversionfile.h"

#include <QList>

#include <algorithm>

QByteArray formatConversionFile(const Conversion &conversion)
{
    return "dither=" + ditherName(conversion.method).toLatin1() +
           "\nlevel=" + QByteArray::number(conversion.level) + '\n';
}

Conversion parseConversionFile(const QByteArray &content)
{
    Conversion conversion;
    for (const QByteArray &line : content.split('\n')) {
        const int equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        bool ok = false;
        if (key == "dither") {
            parseDither(QString::fromLatin1(value), &conversion.method);
        } else if (key == "level") {
            const int level = value.toInt(&ok);
            if (ok)
                conversion.level = std::clamp(level, 1, 254);
        }
    }
    return conversion;
}
