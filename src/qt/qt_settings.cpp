#include "qt/qt_settings.h"

#include <QCoreApplication>

#include "platform/qt_strings.h"

namespace qova::qt {
QtSettings::QtSettings(const std::string& file, int quietMs)
    : settings_(QString::fromStdString(file), QSettings::IniFormat) {
    quiet_.setSingleShot(true);
    quiet_.setInterval(quietMs);
    QObject::connect(&quiet_, &QTimer::timeout, &quiet_, [this] { write(); });
    // An application that quits with its window still there never destroys this object.
    if (QCoreApplication::instance() != nullptr)
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &quiet_,
                         [this] { write(); });
}

QtSettings::~QtSettings() {
    write();
}

int QtSettings::intValue(std::string_view key, int fallback) const {
    if (const auto found = unwritten_.find(key); found != unwritten_.end())
        return found->second;
    if (const auto found = riders_.find(key); found != riders_.end())
        return found->second;
    bool ok = false;
    const int value = settings_.value(platform::toQString(key), fallback).toInt(&ok);
    return ok ? value : fallback;
}

void QtSettings::setIntValue(std::string_view key, int value) {
    if (intValue(key, value) == value &&
        (unwritten_.count(key) > 0 || settings_.contains(platform::toQString(key))))
        return;
    unwritten_.insert_or_assign(std::string(key), value);
    quiet_.start();
}

void QtSettings::setIntValueWithNextWrite(std::string_view key, int value) {
    if (unwritten_.count(key) == 0 && !settings_.contains(platform::toQString(key)))
        riders_.insert_or_assign(std::string(key), value);
}

void QtSettings::write() {
    quiet_.stop();
    if (unwritten_.empty())
        return;
    unwritten_.merge(riders_);
    riders_.clear();
    for (const auto& [key, value] : unwritten_)
        settings_.setValue(platform::toQString(key), value);
    unwritten_.clear();
    settings_.sync();
}

}  // namespace qova::qt
