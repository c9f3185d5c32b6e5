#pragma once

namespace qova::platform {

/// A top-level window's outer size, border, title bar and menu bar included, in twips.
class FormWindow {
  public:
    virtual ~FormWindow() = default;
    virtual int heightTwips() const = 0;
    virtual void setHeightTwips(int twips) = 0;
};

/// Twips per pixel at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;

}  // namespace qova::platform
