#pragma once

#include <QFile>
#include <QString>
#include <QTest>

#include <sys/stat.h>

// Files a reader must refuse at once, without blocking or filling memory: a
// device, a FIFO and a file one byte over the 64 MB limit. Rows for a data
// table of two QString columns, the file and the reason said.
inline void addUnreadableFileRows()
{
    QTest::newRow("device") << QStringLiteral("/dev/zero")
                            << QStringLiteral("to nie jest zwykły plik");
    QTest::newRow("FIFO") << QStringLiteral("fifo") << QStringLiteral("to nie jest zwykły plik");
    QTest::newRow("too large") << QStringLiteral("large.csv")
                               << QStringLiteral("plik jest większy niż 64 MB");
}

// Makes "fifo" and "large.csv" in the current folder (a TestFolder).
inline bool makeUnreadableFiles()
{
    if (::mkfifo("fifo", 0600) != 0)
        return false;
    QFile large(QStringLiteral("large.csv"));
    return large.open(QIODevice::WriteOnly) && large.resize((qint64(64) << 20) + 1);
}
