#include "qt/qt_settings.h"

namespace qova::qt {
namespace {

QString keyOf(std::string_view key) {
    return QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

}  // namespace

QtSettings::QtSettings(const std::string& file)
    : settings_(QString::fromStdString(file), QSettings::IniFormat) {}

int QtSettings::intValue(std::string_view key, int fallback) const {
    bool ok = false;
    const int value = settings_.value(keyOf(key), fallback).toInt(&ok);
    return ok ? value : fallback;
}

void QtSettings::setIntValue(std::string_view key, int value) {
    if (settings_.contains(keyOf(key)) && settings_.value(keyOf(key)).toInt() == value)
        return;
    settings_.setValue(keyOf(key), value);
    settings_.sync();
}

}  // namespace qova::qt
