#include "platform/qt_strings.h"

namespace qova::platform {

QString toQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string toStdString(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return {utf8.constData(), static_cast<std::size_t>(utf8.size())};
}

std::string minuteText(const QDateTime& when) {
    return toStdString(when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}

std::string minuteNow() {
    return minuteText(QDateTime::currentDateTime());
}

}  // namespace qova::platform
