#include "core/system/boundedfile.h"

#include <QFile>
#include <QFileInfo>

bool isRegularOrMissing(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() || (!info.exists() && !info.isSymLink());
}

bool readAtMost(QFile &file, qint64 limit, QByteArray *content)
{
    if (file.size() > limit)
        return false;
    *content = file.read(limit + 1);
    return content->size() <= limit && file.error() == QFileDevice::NoError;
}
