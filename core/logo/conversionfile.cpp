#include "core/logo/conversionfile.h"

#include "core/logo/greylevels.h"

#include <QList>

#include <algorithm>

QByteArray formatConversionFile(const Conversion &conversion)
{
    QByteArray content =
        "dither=" + ditherName(conversion.method).toLatin1() + "\nlevel=" +
        (conversion.autoLevel ? QByteArray("auto") : QByteArray::number(conversion.level)) + '\n';
    // Neutral is left out: the file stays what it was for those who never use it.
    if (conversion.brightness != 0)
        content += "brightness=" + QByteArray::number(conversion.brightness) + '\n';
    return content;
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
            conversion.autoLevel = value == "auto";
        } else if (key == "brightness") {
            const int brightness = value.toInt(&ok);
            if (ok)
                conversion.brightness =
                    std::clamp(brightness, darkestBrightness, lightestBrightness);
        }
    }
    return conversion;
}
