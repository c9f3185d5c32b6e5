#pragma once

#include <QWidget>

#include "platform/form_window.h"

namespace qova::platform {

/// A top-level window's outer size in twips. Before the window manager has framed the window,
/// the frame is taken to be the size it will get.
class QtFormWindow : public FormWindow {
  public:
    explicit QtFormWindow(QWidget* window) : window_(window) {}
    int heightTwips() const override;
    void setHeightTwips(int twips) override;

  private:
    int frameExtraHeight() const;
    QWidget* window_;
};

}  // namespace qova::platform
