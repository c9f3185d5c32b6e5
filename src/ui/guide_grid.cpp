#include "ui/guide_grid.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include "guide/guide_text.h"
#include "platform/qt_strings.h"
#include "ui/guide_grid_access.h"

namespace qova::ui {
namespace {

constexpr guide::UnixTime kDay = 86400;
constexpr int kDayWidth = 24 * 60 * GuideGrid::kPixelsPerMinute;

}  // namespace

// Before the first grid is made: its base's construction may already ask for its interface.
const bool kAccessibilityInstalled = [] {
    QAccessible::installFactory(&guideGridAccessible);
    return true;
}();

GuideGrid::GuideGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("guideGrid"));
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Programmes"));
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
}

GuideGrid::~GuideGrid() {
    for (const QAccessible::Id id : cellIds_) {
        if (id != 0)
            QAccessible::deleteAccessibleInterface(id);
    }
}

void GuideGrid::viewChanged() {
    cellsStale_ = true;
    for (const QAccessible::Id id : cellIds_) {
        if (id != 0)
            QAccessible::deleteAccessibleInterface(id);
    }
    cellIds_.clear();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&event);
    }
}

QAccessible::Id GuideGrid::cellId(int index,
                                  const std::function<QAccessibleInterface*()>& make) const {
    if (index < 0 || index >= static_cast<int>(accessibleCells().size()))
        return 0;
    cellIds_.resize(cells_.size(), 0);
    QAccessible::Id& id = cellIds_[static_cast<std::size_t>(index)];
    if (id == 0)
        id = QAccessible::registerAccessibleInterface(make());
    return id;
}

void GuideGrid::show(const guide::GuideStore* store, std::vector<std::string> channels,
                     guide::UnixTime dayStart, guide::UnixTime now) {
    store_ = store;
    channels_ = std::move(channels);
    dayStart_ = dayStart;
    now_ = now;
    row_ = std::clamp(row_, 0, std::max(0, static_cast<int>(channels_.size()) - 1));
    if (at_ < dayStart_ || at_ >= dayStart_ + kDay)
        at_ = now >= dayStart_ && now < dayStart_ + kDay ? now : dayStart_ + 20 * 3600;
    updateScrollBars();
    viewChanged();
    viewport()->update();
    emit currentChanged();
}

std::vector<guide::Programme> GuideGrid::programmesOf(int row) const {
    if (store_ == nullptr || row < 0 || row >= static_cast<int>(channels_.size()))
        return {};
    return store_->between(channels_[static_cast<std::size_t>(row)], dayStart_, dayStart_ + kDay);
}

std::optional<guide::Programme> GuideGrid::currentProgramme() const {
    for (const guide::Programme& p : programmesOf(row_)) {
        if (p.start <= at_ && at_ < p.stop)
            return p;
    }
    return std::nullopt;
}

std::string GuideGrid::currentChannel() const {
    return row_ < static_cast<int>(channels_.size()) ? channels_[static_cast<std::size_t>(row_)]
                                                     : std::string();
}

QString GuideGrid::cellName(int row, const guide::Programme& programme) const {
    return platform::toQString(channels_[static_cast<std::size_t>(row)]) + QStringLiteral(": ") +
           platform::toQString(guide::ProgrammeLine(programme));
}

guide::UnixTime GuideGrid::timeAtX(int x) const {
    return dayStart_ +
           static_cast<guide::UnixTime>(x - kNameWidth + horizontalScrollBar()->value()) * 60 /
               kPixelsPerMinute;
}

int GuideGrid::xOfTime(guide::UnixTime at) const {
    return kNameWidth + static_cast<int>((at - dayStart_) * kPixelsPerMinute / 60) -
           horizontalScrollBar()->value();
}

void GuideGrid::updateScrollBars() {
    const QSize area = viewport()->size();
    verticalScrollBar()->setRange(
        0, std::max(0, static_cast<int>(channels_.size()) * kRowHeight - area.height()));
    verticalScrollBar()->setPageStep(area.height());
    verticalScrollBar()->setSingleStep(kRowHeight);
    horizontalScrollBar()->setRange(0, std::max(0, kDayWidth - (area.width() - kNameWidth)));
    horizontalScrollBar()->setPageStep(area.width() - kNameWidth);
    horizontalScrollBar()->setSingleStep(15 * kPixelsPerMinute);
}

void GuideGrid::scrollToTime(guide::UnixTime at) {
    horizontalScrollBar()->setValue(static_cast<int>((at - dayStart_) * kPixelsPerMinute / 60) -
                                    60 * kPixelsPerMinute);
    viewport()->update();
}

void GuideGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    viewChanged();
}

void GuideGrid::scrollContentsBy(int, int) {
    viewport()->update();
}

const std::vector<GuideGrid::Cell>& GuideGrid::accessibleCells() const {
    if (!cellsStale_)
        return cells_;
    cellsStale_ = false;
    cells_.clear();
    const int top = verticalScrollBar()->value();
    const int first = top / kRowHeight;
    const int last =
        std::min(static_cast<int>(channels_.size()), (top + viewport()->height()) / kRowHeight + 1);
    for (int row = first; row < last; ++row) {
        const int y = row * kRowHeight - top;
        for (const guide::Programme& p : programmesOf(row)) {
            const int left = std::max(kNameWidth, xOfTime(p.start));
            const int right = std::min(viewport()->width(), xOfTime(p.stop));
            if (right > left)
                cells_.push_back({cellName(row, p), QRect(left, y, right - left, kRowHeight),
                                  row == row_ && p.start <= at_ && at_ < p.stop});
        }
    }
    return cells_;
}

void GuideGrid::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPalette& colours = palette();
    painter.fillRect(viewport()->rect(), colours.base());
    const int top = verticalScrollBar()->value();
    const int first = top / kRowHeight;
    const int last =
        std::min(static_cast<int>(channels_.size()), (top + viewport()->height()) / kRowHeight + 1);
    const int width = viewport()->width();
    rowsLaidOut_ = 0;
    for (int row = first; row < last; ++row) {
        ++rowsLaidOut_;
        const int y = row * kRowHeight - top;
        for (const guide::Programme& p : programmesOf(row)) {
            const int left = std::max(kNameWidth, xOfTime(p.start));
            const int right = std::min(width, xOfTime(p.stop));
            if (right <= left)
                continue;
            const QRect cell(left, y, right - left - 1, kRowHeight - 1);
            const bool current = row == row_ && p.start <= at_ && at_ < p.stop;
            const bool running = p.start <= now_ && now_ < p.stop;
            painter.fillRect(cell, current   ? colours.highlight()
                                   : running ? colours.alternateBase()
                                             : colours.button());
            painter.setPen(current ? colours.highlightedText().color() : colours.text().color());
            painter.drawText(
                cell.adjusted(4, 0, -2, 0), Qt::AlignVCenter | Qt::TextSingleLine,
                painter.fontMetrics().elidedText(platform::toQString(std::string(p.title)),
                                                 Qt::ElideRight, std::max(0, cell.width() - 6)));
        }
        const QRect name(0, y, kNameWidth - 2, kRowHeight - 1);
        painter.fillRect(name, row == row_ ? colours.highlight() : colours.window());
        painter.setPen(row == row_ ? colours.highlightedText().color()
                                   : colours.windowText().color());
        painter.drawText(name.adjusted(4, 0, -2, 0), Qt::AlignVCenter | Qt::TextSingleLine,
                         painter.fontMetrics().elidedText(
                             platform::toQString(channels_[static_cast<std::size_t>(row)]),
                             Qt::ElideRight, kNameWidth - 8));
    }
    // Now, as a line down the grid.
    const int nowX = xOfTime(now_);
    if (nowX >= kNameWidth && nowX < width) {
        painter.setPen(QPen(Qt::red, 2));
        painter.drawLine(nowX, 0, nowX, viewport()->height());
    }
}

void GuideGrid::select(int row, guide::UnixTime at) {
    if (channels_.empty())
        return;
    row_ = std::clamp(row, 0, static_cast<int>(channels_.size()) - 1);
    at_ = std::clamp<guide::UnixTime>(at, dayStart_, dayStart_ + kDay - 1);
    ensureCurrentVisible();
    viewChanged();
    viewport()->update();
    emit currentChanged();
    if (QAccessible::isActive() && hasFocus()) {
        const auto& cells = accessibleCells();
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (cells[i].current) {
                QAccessibleEvent event(this, QAccessible::Focus);
                event.setChild(static_cast<int>(i));
                QAccessible::updateAccessibility(&event);
            }
        }
    }
}

void GuideGrid::ensureCurrentVisible() {
    const int y = row_ * kRowHeight;
    QScrollBar* v = verticalScrollBar();
    if (y < v->value())
        v->setValue(y);
    else if (y + kRowHeight > v->value() + viewport()->height())
        v->setValue(y + kRowHeight - viewport()->height());
    const int x = xOfTime(at_);
    QScrollBar* h = horizontalScrollBar();
    if (x < kNameWidth)
        h->setValue(h->value() - (kNameWidth - x) - 30 * kPixelsPerMinute);
    else if (x > viewport()->width() - 20)
        h->setValue(h->value() + x - viewport()->width() + 30 * kPixelsPerMinute);
}

void GuideGrid::keyPressEvent(QKeyEvent* event) {
    const auto current = currentProgramme();
    switch (event->key()) {
        case Qt::Key_Up:
            select(row_ - 1, at_);
            break;
        case Qt::Key_Down:
            select(row_ + 1, at_);
            break;
        case Qt::Key_PageUp:
            select(row_ - viewport()->height() / kRowHeight, at_);
            break;
        case Qt::Key_PageDown:
            select(row_ + viewport()->height() / kRowHeight, at_);
            break;
        case Qt::Key_Left:
            select(row_, current ? current->start - 1 : at_ - 1800);
            break;
        case Qt::Key_Right:
            select(row_, current ? current->stop : at_ + 1800);
            break;
        case Qt::Key_Home:
            select(row_, now_);
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit activated();
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
    }
}

void GuideGrid::mousePressEvent(QMouseEvent* event) {
    const int row = (event->position().toPoint().y() + verticalScrollBar()->value()) / kRowHeight;
    if (row >= 0 && row < static_cast<int>(channels_.size())) {
        const int x = event->position().toPoint().x();
        select(row, x < kNameWidth ? at_ : timeAtX(x));
    }
}

void GuideGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
    emit activated();
}

}  // namespace qova::ui
