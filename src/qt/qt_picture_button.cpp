#include "qt/qt_picture_button.h"

namespace qova::qt {

QtPictureButton::QtPictureButton(QAbstractButton* widget, platform::Picture picture)
    : widget_(widget) {
    setPicture(std::move(picture));
    QObject::connect(widget_, &QAbstractButton::clicked, widget_, [this] {
        if (onClick)
            onClick();
    });
}

void QtPictureButton::setPicture(platform::Picture picture) {
    picture_ = std::move(picture);
    const auto* qt = dynamic_cast<const QtPicture*>(picture_.get());
    widget_->setIcon(qt != nullptr ? qt->icon() : QIcon());
    if (qt != nullptr)
        widget_->setIconSize(qt->size());
}

}  // namespace qova::qt
