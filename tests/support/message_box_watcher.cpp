#include "support/message_box_watcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

namespace qova::testing {

MessageBoxWatcher::MessageBoxWatcher() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
    timer_.start();
}

std::vector<std::string> MessageBoxWatcher::texts() const {
    std::vector<std::string> out;
    for (const Seen& s : seen_)
        out.push_back(s.text);
    return out;
}

void MessageBoxWatcher::look() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible())
        return;
    seen_.push_back(Seen{box->text().toStdString(), box->windowTitle().toStdString(),
                         box->icon() == QMessageBox::Warning,
                         static_cast<int>(box->buttons().size())});
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
        ok->click();
    } else {
        box->reject();
    }
}

}  // namespace qova::testing
