#pragma once

#include <functional>
#include <memory>

namespace qova::platform {

/// A picture as buttons hold it; it can only be read from one button and given to another.
class PictureData {
  public:
    virtual ~PictureData() = default;
};
using Picture = std::shared_ptr<const PictureData>;

/// A push button that shows a picture and no caption.
class PictureButton {
  public:
    virtual ~PictureButton() = default;

    virtual Picture picture() const = 0;
    virtual void setPicture(Picture picture) = 0;

    std::function<void()> onClick;
};

}  // namespace qova::platform
