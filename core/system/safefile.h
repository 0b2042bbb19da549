#pragma once

#include <QByteArray>
#include <QString>

class QFile;

// Files the operator names: read only when they are regular and of a sane size,
// written so that a failure leaves the previous file whole. Reasons are Polish.

// The largest file of settings or printers read: 100,000 printers take 6 MB.
constexpr qint64 maxInputFileSize = 64 << 20;

// The OS's reason for `errorNumber` in Polish words ("brak miejsca na dysku").
QString systemErrorText(int errorNumber);

// What a link points to counts: a link to a regular file is read and written
// through, one to a device or a FIFO is neither.
bool isRegularOrMissing(const QString &path);

// The whole of an open file, unless it is larger than `maxSize`.
bool readAtMost(QFile &file, qint64 maxSize, QByteArray *content);

// The content of a regular file of at most `maxSize` bytes. A FIFO, a device or
// a larger file is not read (it could block or never end); `reason` then says
// why, in Polish.
bool readSmallFile(const QString &path, qint64 maxSize, QByteArray *content, QString *reason);

// Writes `content` to a temporary file beside `path`, syncs it and renames it
// over `path`, so that the old file stays whole until the new one is. A path
// that names a device or a FIFO (/dev/stdout) is written directly. On failure
// `reason` gives the OS's reason in Polish and the previous file is untouched.
bool saveFileAtomically(const QString &path, const QByteArray &content, QString *reason);
