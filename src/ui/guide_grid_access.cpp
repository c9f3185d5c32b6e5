#include "ui/guide_grid_access.h"

#include <QAccessibleWidget>
#include <QPointer>

#include "ui/guide_grid.h"

namespace qova::ui {
namespace {

class CellAccessible : public QAccessibleInterface {
  public:
    CellAccessible(GuideGrid* grid, int index) : grid_(grid), index_(index) {}

    bool isValid() const override { return grid_ != nullptr && cell() != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        return grid_ != nullptr && grid_->window()->windowHandle() != nullptr
                   ? grid_->window()->windowHandle()
                   : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(grid_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        const GuideGrid::Cell* c = cell();
        return c != nullptr && t == QAccessible::Name ? c->name : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        const GuideGrid::Cell* c = cell();
        if (c == nullptr)
            return {};
        return QRect(grid_->viewport()->mapToGlobal(c->rect.topLeft()), c->rect.size());
    }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override {
        QAccessible::State s;
        const GuideGrid::Cell* c = cell();
        s.focusable = true;
        s.selectable = true;
        s.selected = s.focused = c != nullptr && c->current;
        return s;
    }

  private:
    const GuideGrid::Cell* cell() const {
        const auto& cells = grid_->accessibleCells();
        return index_ >= 0 && index_ < static_cast<int>(cells.size())
                   ? &cells[static_cast<std::size_t>(index_)]
                   : nullptr;
    }

    QPointer<GuideGrid> grid_;
    int index_;
};

class GridAccessible : public QAccessibleWidget {
  public:
    explicit GridAccessible(GuideGrid* grid) : QAccessibleWidget(grid, QAccessible::Table) {}

    int childCount() const override { return static_cast<int>(grid()->accessibleCells().size()); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount())
            return nullptr;
        return QAccessible::accessibleInterface(grid()->cellId(index, [this, index] {
            return static_cast<QAccessibleInterface*>(new CellAccessible(grid(), index));
        }));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < childCount(); ++i) {
            if (this->child(i) == child)
                return i;
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i) {
            if (QAccessibleInterface* c = child(i); c != nullptr && c->rect().contains(x, y))
                return c;
        }
        return nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        const auto& cells = grid()->accessibleCells();
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (cells[i].current)
                return child(static_cast<int>(i));
        }
        return nullptr;
    }

  private:
    GuideGrid* grid() const { return static_cast<GuideGrid*>(widget()); }
};

}  // namespace

QAccessibleInterface* guideGridAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("qova::ui::GuideGrid") && object != nullptr &&
        object->isWidgetType())
        return new GridAccessible(static_cast<GuideGrid*>(object));
    return nullptr;
}

}  // namespace qova::ui
