#include "core/logo/picturereader.h"

#include <QImage>
#include <QImageReader>

namespace {

QImage readWithinLimit(QImageReader &reader)
{
    // A few kilobytes of PNG can announce gigabytes of dots. Formats that give no
    // size before decoding are read as they are.
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() * 4 > largestDecodedPictureBytes)
        return {};
    return reader.read();
}

} // namespace

QImage readPicture(const QString &path)
{
    QImageReader reader(path);
    return readWithinLimit(reader);
}

QImage readPicture(QIODevice *device)
{
    QImageReader reader(device);
    return readWithinLimit(reader);
}
