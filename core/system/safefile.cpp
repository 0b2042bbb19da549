#include "core/system/safefile.h"

#include "core/system/filedescriptors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const QByteArray &content)
{
    const char *data = content.constData();
    qint64 left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

bool fail(QString *reason, int errorNumber)
{
    if (reason)
        *reason = systemErrorText(errorNumber);
    return false;
}

} // namespace

QString systemErrorText(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
        return QStringLiteral("nie ma takiego pliku ani katalogu");
    case EACCES:
    case EPERM:
        return QStringLiteral("brak uprawnień");
    case ENOSPC:
        return QStringLiteral("brak miejsca na dysku");
    case EDQUOT:
        return QStringLiteral("przekroczony przydział miejsca na dysku");
    case EROFS:
        return QStringLiteral("system plików jest tylko do odczytu");
    case EISDIR:
        return QStringLiteral("to jest katalog");
    case ENOTDIR:
        return QStringLiteral("część ścieżki nie jest katalogiem");
    case ENAMETOOLONG:
        return QStringLiteral("za długa nazwa");
    case EIO:
        return QStringLiteral("błąd wejścia-wyjścia");
    case EMFILE:
    case ENFILE:
        return localFaultText(errorNumber);
    case EFBIG:
        return QStringLiteral("plik jest za duży");
    default:
        return QStringLiteral("błąd systemu %1 (%2)")
            .arg(errorNumber)
            .arg(QString::fromLocal8Bit(std::strerror(errorNumber)));
    }
}

bool isRegularOrMissing(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() || (!info.exists() && !info.isSymLink());
}

bool readAtMost(QFile &file, qint64 maxSize, QByteArray *content)
{
    if (file.size() > maxSize)
        return false;
    *content = file.read(maxSize + 1);
    return content->size() <= maxSize && file.error() == QFileDevice::NoError;
}

bool readSmallFile(const QString &path, qint64 maxSize, QByteArray *content, QString *reason)
{
    const QFileInfo info(path);
    if (!info.exists())
        return fail(reason, ENOENT);
    if (!info.isFile()) {
        *reason =
            info.isDir() ? systemErrorText(EISDIR) : QStringLiteral("to nie jest zwykły plik");
        return false;
    }
    const QString tooLarge =
        QStringLiteral("plik jest większy niż %1 MB").arg(maxSize >> 20 ? maxSize >> 20 : 1);
    if (info.size() > maxSize) {
        *reason = tooLarge;
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const int error = errno;
        return fail(reason, error ? error : EIO);
    }
    if (!readAtMost(file, maxSize, content)) {
        *reason = content->size() > maxSize ? tooLarge : systemErrorText(EIO);
        content->clear();
        return false;
    }
    return true;
}

bool saveFileAtomically(const QString &path, const QByteArray &content, QString *reason)
{
    // Through a link to its target, as an editor saves.
    QFileInfo info(path);
    const QString target =
        info.isSymLink() && info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    info = QFileInfo(target);
    const QByteArray native = QFile::encodeName(target);
    if (info.exists() && !info.isFile()) {
        if (info.isDir())
            return fail(reason, EISDIR);
        const int fd = ::open(native.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0)
            return fail(reason, errno);
        const bool written = writeAll(fd, content);
        const int error = errno;
        ::close(fd);
        return written || fail(reason, error);
    }

    QByteArray temporary =
        QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(reason, errno);
    // The new file keeps the old one's mode, or gets what a plain create would.
    struct stat old = {};
    mode_t mode = 0;
    if (::stat(native.constData(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, content) && ::fsync(fd) == 0;
    int error = errno;
    const bool closed = ::close(fd) == 0;
    if (ok && !closed)
        error = errno;
    if (ok && closed && ::rename(temporary.constData(), native.constData()) == 0)
        return true;
    if (ok && closed)
        error = errno;
    ::unlink(temporary.constData());
    return fail(reason, error);
}
