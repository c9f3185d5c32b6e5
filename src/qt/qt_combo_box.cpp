#include "qt/qt_combo_box.h"

#include <QSignalBlocker>
#include <QStandardItemModel>
#include <algorithm>
#include <numeric>

#include "platform/qt_strings.h"
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
        const QString shown = platform::toQString(text);
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

void QtComboBox::fill(const std::vector<std::string>& entries) {
    const QSignalBlocker blocker(widget_);
    widget_->clear();
    std::vector<QString> shown;
    shown.reserve(entries.size());
    for (const std::string& entry : entries)
        shown.push_back(platform::toQString(entry));
    std::vector<std::size_t> order(entries.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (sorted_) {
        // Keys compared as the collator compares the texts, each made once; equal ones keep
        // their order, as one insert after another would.
        std::vector<QCollatorSortKey> keys;
        keys.reserve(shown.size());
        for (const QString& text : shown)
            keys.push_back(collator_.sortKey(text));
        std::stable_sort(order.begin(), order.end(),
                         [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    }
    QList<QStandardItem*> items;
    items.reserve(static_cast<qsizetype>(order.size()));
    for (const std::size_t i : order) {
        auto* item = new QStandardItem(shown[i]);
        item->setData(QByteArray(entries[i].data(), static_cast<qsizetype>(entries[i].size())),
                      kBytesRole);
        items.push_back(item);
    }
    // One insertion of every row, where one entry at a time costs a model update each.
    if (auto* model = qobject_cast<QStandardItemModel*>(widget_->model())) {
        model->invisibleRootItem()->appendRows(items);
    } else {
        for (QStandardItem* item : items) {
            widget_->addItem(item->text(), item->data(kBytesRole));
            delete item;
        }
    }
    widget_->setCurrentIndex(-1);
}

void QtComboBox::insertItem(int position, const std::string& text) {
    const QSignalBlocker blocker(widget_);
    const int selected = widget_->currentIndex();
    widget_->insertItem(position, platform::toQString(text),
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
