#pragma once

#include <QByteArray>
#include <QtGlobal>

class QFile;
class QString;

// Files the program reads at its start (settings.txt, conversion.txt): what a
// link points to counts; a regular file is read and written through, a device
// or a FIFO neither, since a FIFO would block the start and a device never end.
bool isRegularOrMissing(const QString &path);

// The whole of an open file, unless it holds more than `limit` bytes.
bool readAtMost(QFile &file, qint64 limit, QByteArray *content);
