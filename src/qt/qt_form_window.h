#pragma once

#include <QWidget>

#include "platform/form_window.h"

namespace qova::qt {

/// A top-level window's outer size in twips: its own height and a frame of fixed size, a title
/// bar and a bottom border as desktops commonly draw them.
class QtFormWindow : public platform::FormWindow {
  public:
    explicit QtFormWindow(QWidget* window) : window_(window) {}
    int heightTwips() const override;
    void setHeightTwips(int twips) override;

    static constexpr int kFrameExtraPixels = 26;

  private:
    int frameExtraHeight() const;
    QWidget* window_;
};

}  // namespace qova::qt
