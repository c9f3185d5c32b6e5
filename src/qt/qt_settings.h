#pragma once

#include <QSettings>
#include <QTimer>
#include <map>
#include <string>

#include "platform/settings.h"

namespace qova::qt {

/// Settings in a file of Qt's settings format (INI). QSettings writes it whole through a new file,
/// so a write that fails leaves the old one. A value set is written once it has stayed put for a
/// moment, and at the latest when the object goes or the application quits: a run of volume steps
/// is one write, not one wait for the disk per step.
class QtSettings : public platform::Settings {
  public:
    /// How long a value stays put before it is written.
    static constexpr int kQuietMs = 1000;

    explicit QtSettings(const std::string& file, int quietMs = kQuietMs);
    ~QtSettings() override;
    QtSettings(const QtSettings&) = delete;
    QtSettings& operator=(const QtSettings&) = delete;

    int intValue(std::string_view key, int fallback) const override;
    void setIntValue(std::string_view key, int value) override;
    void setIntValueWithNextWrite(std::string_view key, int value) override;
    /// Writes what was set and is not written yet, now.
    void write();

  private:
    mutable QSettings settings_;
    // Values set and not yet handed to QSettings, which would write each at its next event.
    std::map<std::string, int, std::less<>> unwritten_;
    // Values that go with the next write (setIntValueWithNextWrite).
    std::map<std::string, int, std::less<>> riders_;
    QTimer quiet_;
};

}  // namespace qova::qt
