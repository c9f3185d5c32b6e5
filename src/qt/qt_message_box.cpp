#include "qt/qt_message_box.h"

#include <QMessageBox>

namespace qova::qt {

void QtMessageBox::show(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(platform::kApplicationTitle),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok, owner_);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace qova::qt
