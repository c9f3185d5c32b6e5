#pragma once

#include <QSettings>
#include <string>

#include "platform/settings.h"

namespace qova::qt {

/// Settings in a file of Qt's settings format (INI). QSettings writes it whole through a new file,
/// so a write that fails leaves the old one.
class QtSettings : public platform::Settings {
  public:
    explicit QtSettings(const std::string& file);
    int intValue(std::string_view key, int fallback) const override;
    void setIntValue(std::string_view key, int value) override;

  private:
    mutable QSettings settings_;
};

}  // namespace qova::qt
