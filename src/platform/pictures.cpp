#include "platform/pictures.h"

#include <algorithm>

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>
#include <numbers>

namespace qova::platform {
namespace {

QPainterPath starPath(double size) {
    QPainterPath path;
    const double cx = size / 2;
    const double cy = size / 2 + size * 0.03;
    const double outer = size * 0.47;
    const double inner = outer * 0.42;
    for (int i = 0; i < 10; ++i) {
        const double radius = (i % 2 == 0) ? outer : inner;
        const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        const QPointF point(cx + radius * std::cos(angle), cy + radius * std::sin(angle));
        if (i == 0) {
            path.moveTo(point);
        } else {
            path.lineTo(point);
        }
    }
    path.closeSubpath();
    return path;
}

QPixmap star(int scale, bool filled) {
    const int size = 16 * scale;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    pixmap.setDevicePixelRatio(scale);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor gold(232, 176, 34);
    painter.setPen(QPen(QColor(150, 104, 10), 1.0));
    painter.setBrush(filled ? QBrush(gold) : QBrush(Qt::NoBrush));
    painter.drawPath(starPath(16));
    return pixmap;
}

QPixmap tile(QSize size, int scale, const QColor& colour, const QString& glyph) {
    QPixmap pixmap(size * scale);
    pixmap.fill(Qt::transparent);
    pixmap.setDevicePixelRatio(scale);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const QRectF area(1, 1, size.width() - 2, size.height() - 2);
    painter.drawRoundedRect(area, 4, 4);
    if (!glyph.isEmpty()) {
        QFont font = painter.font();
        font.setPixelSize(
            std::clamp(std::min(size.height() / 3,
                                size.width() * 4 / (3 * static_cast<int>(glyph.size()) + 1)),
                       6, 28));
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(area, Qt::AlignCenter, glyph);
    }
    return pixmap;
}

}  // namespace

std::array<QIcon, 2> starImageList() {
    std::array<QIcon, 2> images;
    for (int i = 0; i < 2; ++i) {
        QIcon icon;
        for (int scale : {1, 2})
            icon.addPixmap(star(scale, i == 1));
        images[static_cast<std::size_t>(i)] = icon;
    }
    return images;
}

QIcon tilePicture(QSize size, const QColor& colour, const QString& glyph) {
    QIcon icon;
    for (int scale : {1, 2})
        icon.addPixmap(tile(size, scale, colour, glyph));
    return icon;
}

}  // namespace qova::platform
