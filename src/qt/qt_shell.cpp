#include "qt/qt_shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace qova::qt {

void QtShell::open(const std::string& address) {
    QDesktopServices::openUrl(
        QUrl(QString::fromUtf8(address.data(), static_cast<qsizetype>(address.size()))));
}

}  // namespace qova::qt
