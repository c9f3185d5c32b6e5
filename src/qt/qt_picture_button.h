#pragma once

#include <QAbstractButton>
#include <QIcon>

#include "platform/picture_button.h"

namespace qova::qt {

/// A picture as Qt buttons show it.
class QtPicture : public platform::PictureData {
  public:
    QtPicture(QIcon icon, QSize size) : icon_(std::move(icon)), size_(size) {}
    const QIcon& icon() const { return icon_; }
    QSize size() const { return size_; }

  private:
    QIcon icon_;
    QSize size_;
};

/// A picture button over any QAbstractButton; the picture fills the button, no caption.
class QtPictureButton : public platform::PictureButton {
  public:
    explicit QtPictureButton(QAbstractButton* widget, platform::Picture picture = nullptr);

    platform::Picture picture() const override { return picture_; }
    void setPicture(platform::Picture picture) override;

    QAbstractButton* widget() const { return widget_; }

  private:
    QAbstractButton* widget_;
    platform::Picture picture_;
};

}  // namespace qova::qt
