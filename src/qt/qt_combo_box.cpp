#include "qt/qt_combo_box.h"

#include <QSignalBlocker>

#include "qt/qt_colour.h"

namespace qova::qt {
namespace {

constexpr int kBytesRole = Qt::UserRole;

}  // namespace

QtComboBox::QtComboBox(QComboBox* widget, bool sortedList, platform::Colour back,
                       platform::Colour fore)
    : widget_(widget),
      sorted_(sortedList),
      back_(back),
      fore_(fore),
      // The C locale compares code points; any language's rules are better than that.
      collator_(QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale()) {
    // Letters compare without regard to case, accented ones beside their plain ones.
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
    widget_->setEditable(false);
    QPalette palette = widget_->palette();
    for (auto role : {QPalette::Base, QPalette::Button, QPalette::Window}) {
        palette.setColor(role, toQColor(back_, palette));
    }
    for (auto role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText}) {
        palette.setColor(role, toQColor(fore_, palette));
    }
    widget_->setPalette(palette);
    QObject::connect(widget_, &QComboBox::activated, widget_, [this](int) {
        if (onClick)
            onClick();
    });
}

void QtComboBox::clear() {
    const QSignalBlocker blocker(widget_);
    widget_->clear();
}

void QtComboBox::addItem(const std::string& text) {
    int position = widget_->count();
    if (sorted_) {
        const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        // The first entry that sorts after the new one.
        int low = 0;
        int high = widget_->count();
        while (low < high) {
            const int mid = (low + high) / 2;
            if (collator_.compare(widget_->itemText(mid), shown) <= 0) {
                low = mid + 1;
            } else {
                high = mid;
            }
        }
        position = low;
    }
    insertItem(position, text);
}

void QtComboBox::insertItem(int position, const std::string& text) {
    const QSignalBlocker blocker(widget_);
    const int selected = widget_->currentIndex();
    widget_->insertItem(position,
                        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                        QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    // An entry entering an empty list becomes current by itself; adding selects nothing here.
    if (selected < 0)
        widget_->setCurrentIndex(-1);
}

int QtComboBox::count() const {
    return widget_->count();
}

std::string QtComboBox::itemText(int position) const {
    return widget_->itemData(position, kBytesRole).toByteArray().toStdString();
}

void QtComboBox::setListIndex(int position) {
    {
        const QSignalBlocker blocker(widget_);
        widget_->setCurrentIndex(position);
    }
    if (onClick)
        onClick();
}

int QtComboBox::listIndex() const {
    return widget_->currentIndex();
}

std::string QtComboBox::text() const {
    const int index = widget_->currentIndex();
    return index < 0 ? std::string() : itemText(index);
}

}  // namespace qova::qt
