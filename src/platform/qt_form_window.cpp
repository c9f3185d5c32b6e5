#include "platform/qt_form_window.h"

#include <QStyle>

namespace qova::platform {

int QtFormWindow::frameExtraHeight() const {
    const int framed = window_->frameGeometry().height() - window_->geometry().height();
    if (framed > 0)
        return framed;
    // Not framed yet: a title bar and a bottom border of the style's usual sizes.
    const QStyle* style = window_->style();
    return style->pixelMetric(QStyle::PM_TitleBarHeight) +
           2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth);
}

int QtFormWindow::heightTwips() const {
    return (window_->geometry().height() + frameExtraHeight()) * kTwipsPerPixel;
}

void QtFormWindow::setHeightTwips(int twips) {
    const int outer = (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
    const int inner = std::max(1, outer - frameExtraHeight());
    // A window the user cannot resize has its height fixed; it moves with the fixed height.
    if (window_->minimumHeight() == window_->maximumHeight()) {
        window_->setFixedHeight(inner);
    } else {
        window_->resize(window_->width(), inner);
    }
}

}  // namespace qova::platform
