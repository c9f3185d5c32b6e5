#include "qt/qt_settings.h"

#include "platform/qt_strings.h"

namespace qova::qt {
QtSettings::QtSettings(const std::string& file)
    : settings_(QString::fromStdString(file), QSettings::IniFormat) {}

int QtSettings::intValue(std::string_view key, int fallback) const {
    bool ok = false;
    const int value = settings_.value(platform::toQString(key), fallback).toInt(&ok);
    return ok ? value : fallback;
}

void QtSettings::setIntValue(std::string_view key, int value) {
    if (settings_.contains(platform::toQString(key)) &&
        settings_.value(platform::toQString(key)).toInt() == value)
        return;
    settings_.setValue(platform::toQString(key), value);
    settings_.sync();
}

}  // namespace qova::qt
