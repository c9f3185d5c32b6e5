#pragma once

#include <QDateTime>
#include <QString>
#include <string>
#include <string_view>

namespace qova::platform {

/// The program's text is UTF-8 in std::string; Qt's is QString. Bytes that are no UTF-8 become
/// replacement characters on the way to Qt.
QString toQString(std::string_view utf8);
std::string toStdString(const QString& text);

/// A moment as the program writes it where a person reads it (when a list was fetched, when a
/// channel did not answer): local time to the minute, "2026-12-06 10:00".
std::string minuteText(const QDateTime& when);
/// minuteText of now.
std::string minuteNow();

}  // namespace qova::platform
