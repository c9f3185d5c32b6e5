#pragma once

#include <string_view>

namespace qova::platform {

/// The few choices the program keeps between runs beyond its specified files (volume and mute),
/// in a small settings file beside the program. Nothing is written until something changes.
class Settings {
  public:
    virtual ~Settings() = default;
    virtual int intValue(std::string_view key, int fallback) const = 0;
    virtual void setIntValue(std::string_view key, int value) = 0;
};

}  // namespace qova::platform
