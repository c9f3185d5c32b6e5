#pragma once

#include <string>

namespace qova::platform {

/// The application's title, the caption of its message boxes.
inline constexpr const char* kApplicationTitle = "QOVA";

/// Modal message boxes: exclamation icon, one OK button, the application's title as caption.
/// show() returns when the user has dismissed the box; window events go on meanwhile.
class MessageBox {
  public:
    virtual ~MessageBox() = default;
    virtual void show(const std::string& text) = 0;
};

}  // namespace qova::platform
