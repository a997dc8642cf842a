#pragma once
// A picture in four coloured quarters, red, green / blue, yellow: every turn and mirror of it
// shows in a probe of its corners.

#include <QImage>
#include <QPainter>

namespace vistel::test {

inline QImage quadrantPicture(int width, int height, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(width, height, format);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height / 2, Qt::red);
    painter.fillRect(width / 2, 0, width - width / 2, height / 2, Qt::green);
    painter.fillRect(0, height / 2, width / 2, height - height / 2, Qt::blue);
    painter.fillRect(width / 2, height / 2, width - width / 2, height - height / 2, Qt::yellow);
    return image;
}

} // namespace vistel::test
