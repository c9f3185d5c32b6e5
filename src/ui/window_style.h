#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace qova::ui {

/// The dark grey of the program's windows and frames, with white text on it.
inline const QColor kWindowColour(76, 76, 76);

inline void paintDark(QWidget& widget) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, kWindowColour);
    palette.setColor(QPalette::WindowText, Qt::white);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

}  // namespace qova::ui
