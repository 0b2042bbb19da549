#pragma once

#include "support/testfolder.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>

// A 416 x 96 logo with dots on every row, so that every frame carries data.
inline QString makeDottedLogo(const TestFolder &folder)
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

// Something like a shop logo photographed or scanned: a gradient, a disc with
// an `outline` wide edge, and text over the whole frame.
inline QImage logoLikePicture(int width, int height, qreal outline)
{
    QImage picture(width, height, QImage::Format_RGB32);
    QPainter painter(&picture);
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, QColor(250, 240, 220));
    gradient.setColorAt(1, QColor(60, 90, 140));
    painter.fillRect(picture.rect(), gradient);
    painter.setPen(QPen(Qt::black, outline));
    painter.setBrush(QColor(180, 40, 40));
    painter.drawEllipse(QRectF(width * 0.05, height * 0.1, width * 0.3, height * 0.8));
    QFont font(QStringLiteral("Sans"));
    font.setPixelSize(height / 4);
    painter.setFont(font);
    painter.drawText(QRectF(width * 0.4, 0, width * 0.6, height), Qt::AlignCenter,
                     QStringLiteral("Sklep Łąka"));
    return picture;
}
