#include "qt/qt_form_window.h"

namespace qova::qt {

int QtFormWindow::frameExtraHeight() const {
    // Always the same frame, never the one the window manager drew: window managers frame
    // windows differently, and only once they are shown, while the height taken before the
    // window is shown must give the same window when it is set again afterwards.
    return kFrameExtraPixels;
}

int QtFormWindow::heightTwips() const {
    return (window_->geometry().height() + frameExtraHeight()) * platform::kTwipsPerPixel;
}

void QtFormWindow::setHeightTwips(int twips) {
    const int outer = (twips + platform::kTwipsPerPixel / 2) / platform::kTwipsPerPixel;
    const int inner = std::max(1, outer - frameExtraHeight());
    // A window the user cannot resize has its height fixed; it moves with the fixed height.
    if (window_->minimumHeight() == window_->maximumHeight()) {
        window_->setFixedHeight(inner);
    } else {
        window_->resize(window_->width(), inner);
    }
}

}  // namespace qova::qt
