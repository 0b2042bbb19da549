#pragma once

#include "support/testfolder.h"

#include <QImage>

// A 416 x 96 logo with dots on every row, so that every frame carries data.
inline QString makePicture(const TestFolder &folder)
{
    QImage picture(416, 96, QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if ((x + 3 * y) % 7 == 0 || x / 4 == y)
                picture.setPixel(x, y, qRgb(0, 0, 0));
    const QString path = folder.filePath(QStringLiteral("logo.png"));
    picture.save(path);
    return path;
}
