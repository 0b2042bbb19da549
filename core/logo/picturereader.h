#pragma once

#include <QtGlobal>

class QImage;
class QIODevice;
class QString;

// The most a picture may take once decoded, counted at 4 bytes per dot: the 1-bit
// conversion dithers a 32-bit copy whatever the file holds. 1 GiB is 268 million
// dots, more than the largest camera photos (about 200 megapixels) need.
constexpr qint64 largestDecodedPictureBytes = qint64(1) << 30;

// Reads a picture as QImage would, except that one whose header announces more
// than the limit is refused before any of it is decoded (a null image).
QImage readPicture(const QString &path);
QImage readPicture(QIODevice *device);
