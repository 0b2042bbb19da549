#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <sys/mount.h>

// A small tmpfs that holds one file and is then filled to the last byte, to
// see what a write on a full disk does. Mounting needs root (as in CI); `why`
// says what went wrong when it cannot be had, for QSKIP.
class FullDisk
{
public:
    // `name` is created with `content` before the disk is filled.
    FullDisk(const QString &name, const QByteArray &content)
    {
        const QByteArray where = QFile::encodeName(dir.path());
        if (!dir.isValid() || ::mount("tmpfs", where.constData(), "tmpfs", 0, "size=64k") != 0) {
            why = QStringLiteral("cannot mount a small tmpfs (not root?)");
            return;
        }
        mounted = true;
        QFile old(filePath(name));
        QFile filler(filePath(QStringLiteral("filler")));
        if (!old.open(QIODevice::WriteOnly) || old.write(content) != content.size() ||
            !old.flush() || !filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            why = QStringLiteral("cannot prepare the tmpfs");
            return;
        }
        const QByteArray block(4096, 'x');
        while (filler.write(block) > 0) {
        }
        const QByteArray byte(1, 'x');
        while (filler.write(byte) > 0) {
        }
        ready = true;
    }
    ~FullDisk()
    {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }

    QString filePath(const QString &name) const { return dir.filePath(name); }
    QByteArray read(const QString &name) const
    {
        QFile file(filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }

    bool ready = false;
    QString why;

private:
    QTemporaryDir dir;
    bool mounted = false;
};
