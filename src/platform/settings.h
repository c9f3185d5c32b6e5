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
    /// A value that goes into the file with the next value set, never by itself: a default a
    /// file that comes to exist keeps, while a run that changes nothing writes nothing.
    virtual void setIntValueWithNextWrite(std::string_view key, int value) {
        static_cast<void>(key);
        static_cast<void>(value);
    }
};

}  // namespace qova::platform
