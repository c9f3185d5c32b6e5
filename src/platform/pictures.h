#pragma once

#include <QColor>
#include <QIcon>
#include <QSize>
#include <QString>
#include <array>

namespace qova::platform {

/// The image list of the channel tree: 1 an outlined star, 2 a filled star, 16 by 16 pixels.
std::array<QIcon, 2> starImageList();

/// A plain picture of a given size in pixels: a rounded tile with a simple glyph, drawn at
/// twice the size as well for high-density screens.
QIcon tilePicture(QSize size, const QColor& tile, const QString& glyph);

}  // namespace qova::platform
