#pragma once

#include <QColor>
#include <QPalette>

#include "platform/colour.h"

namespace qova::qt {

/// The Qt colour a control paints for a colour value; system colours come from the palette.
inline QColor toQColor(platform::Colour colour, const QPalette& palette) {
    if (colour.isSystem()) {
        return colour.systemIndex() == platform::kSystemColourHighlight
                   ? palette.color(QPalette::Highlight)
                   : palette.color(QPalette::Window);
    }
    return QColor(colour.red(), colour.green(), colour.blue());
}

}  // namespace qova::qt
