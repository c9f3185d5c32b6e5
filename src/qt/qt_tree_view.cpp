#include "qt/qt_tree_view.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QTextDocument>

#include "qt/qt_colour.h"

namespace qova::qt {
namespace {

constexpr int kBytesRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kBackRole = Qt::UserRole + 2;
constexpr int kForeRole = Qt::UserRole + 3;
constexpr int kToolTipRole = Qt::UserRole + 4;

}  // namespace

FlatTreeWidget::FlatTreeWidget(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(16, 16));
}

void FlatTreeWidget::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    if (!pressed_ || itemAt(event->position().toPoint()) == nullptr) {
        // The desktop's tree keeps its selection when a click misses every node, and selects
        // with the left button only.
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void FlatTreeWidget::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    if (pressed_ && event->button() == Qt::LeftButton) {
        pressed_ = false;
        emit clickedAnywhere();
    }
}

QtTreeView::QtTreeView(FlatTreeWidget* widget, std::array<QIcon, 2> imageList)
    : widget_(widget), images_(std::move(imageList)) {
    QPixmap empty(widget_->iconSize());
    empty.fill(Qt::transparent);
    blank_ = QIcon(empty);
    QObject::connect(widget_, &FlatTreeWidget::clickedAnywhere, widget_, [this] {
        if (onClick)
            onClick();
    });
}

QTreeWidgetItem* QtTreeView::item(int index) const {
    // The logic never names a node that is not there; should it, the call changes nothing
    // rather than bringing the program down.
    static QTreeWidgetItem none;
    QTreeWidgetItem* found = widget_->topLevelItem(index - 1);
    return found != nullptr ? found : &none;
}

QIcon QtTreeView::iconFor(int image) const {
    if (!attached_)
        return QIcon();
    // Once pictures are attached every node keeps their room, as the desktop's tree does:
    // names stay in one column and rows keep one height, starred or not.
    if (image < 1 || image > static_cast<int>(images_.size()))
        return blank_;
    return images_[static_cast<std::size_t>(image - 1)];
}

int QtTreeView::nodeCount() const {
    return widget_->topLevelItemCount();
}

int QtTreeView::addNode(const std::string& text, int image) {
    auto* node = new QTreeWidgetItem();
    node->setText(0, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    node->setData(0, kBytesRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    node->setData(0, kImageRole, image);
    node->setIcon(0, iconFor(image));
    widget_->addTopLevelItem(node);
    return widget_->topLevelItemCount();
}

void QtTreeView::removeNode(int index) {
    if (index >= 1 && index <= nodeCount())
        delete widget_->takeTopLevelItem(index - 1);
}

void QtTreeView::selectNode(int index) {
    if (QTreeWidgetItem* node = widget_->topLevelItem(index - 1))
        widget_->setCurrentItem(node);
}

int QtTreeView::selectedIndex() const {
    const QList<QTreeWidgetItem*> selected = widget_->selectedItems();
    if (selected.isEmpty())
        return 0;
    return widget_->indexOfTopLevelItem(selected.first()) + 1;
}

std::string QtTreeView::nodeText(int index) const {
    return item(index)->data(0, kBytesRole).toByteArray().toStdString();
}

int QtTreeView::nodeImage(int index) const {
    return item(index)->data(0, kImageRole).toInt();
}

void QtTreeView::setNodeImage(int index, int image) {
    QTreeWidgetItem* node = item(index);
    node->setData(0, kImageRole, image);
    node->setIcon(0, iconFor(image));
}

platform::Colour QtTreeView::nodeBackColour(int index) const {
    const QVariant value = item(index)->data(0, kBackRole);
    return value.isValid() ? platform::Colour::fromValue(value.toUInt()) : back_;
}

platform::Colour QtTreeView::nodeForeColour(int index) const {
    const QVariant value = item(index)->data(0, kForeRole);
    return value.isValid() ? platform::Colour::fromValue(value.toUInt())
                           : platform::Colour::rgb(0, 0, 0);
}

void QtTreeView::setNodeBackColour(int index, platform::Colour colour) {
    QTreeWidgetItem* node = item(index);
    node->setData(0, kBackRole, colour.value());
    node->setBackground(0, toQColor(colour, widget_->palette()));
}

void QtTreeView::setNodeToolTip(int index, const std::string& text) {
    QTreeWidgetItem* node = item(index);
    const QString tip = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    node->setData(0, kToolTipRole, tip);
    // It may quote a server or the network (why a channel does not answer): shown as plain text,
    // which a tool tip is only when given as markup. Screen readers read it as the node's
    // description, since it says why the node is greyed.
    node->setToolTip(
        0, tip.isEmpty() ? QString() : Qt::convertFromPlainText(tip, Qt::WhiteSpaceNormal));
    node->setData(0, Qt::AccessibleDescriptionRole, tip);
}

std::string QtTreeView::nodeToolTip(int index) const {
    return item(index)->data(0, kToolTipRole).toString().toStdString();
}

void QtTreeView::setNodeForeColour(int index, platform::Colour colour) {
    QTreeWidgetItem* node = item(index);
    node->setData(0, kForeRole, colour.value());
    node->setForeground(0, toQColor(colour, widget_->palette()));
}

void QtTreeView::refresh() {
    widget_->viewport()->update();
}

void QtTreeView::setDisplayEnabled(bool enabled) {
    display_ = enabled;
    widget_->setUpdatesEnabled(enabled);
}

void QtTreeView::setBackColour(platform::Colour colour) {
    back_ = colour;
    QPalette palette = widget_->palette();
    palette.setColor(QPalette::Base, toQColor(colour, palette));
    widget_->setPalette(palette);
}

void QtTreeView::attachImageList() {
    attached_ = true;
    for (int i = 1; i <= nodeCount(); ++i)
        item(i)->setIcon(0, iconFor(nodeImage(i)));
}

}  // namespace qova::qt
