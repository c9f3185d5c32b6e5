#pragma once

#include <QAbstractScrollArea>
#include <QAccessible>
#include <functional>
#include <string>
#include <vector>

#include "guide/guide_store.h"

namespace qova::ui {

/// The programme guide's grid: a row for each channel, time across. Only the rows in view are
/// looked up and drawn, so that twenty thousand channels scroll as smoothly as twenty. One
/// programme is current: the arrow keys move it, Enter plays its channel; screen readers hear it
/// as a cell named with its channel, title and times.
class GuideGrid : public QAbstractScrollArea {
    Q_OBJECT
  public:
    static constexpr int kRowHeight = 30;
    static constexpr int kNameWidth = 170;
    /// Pixels a minute of the day takes.
    static constexpr int kPixelsPerMinute = 4;

    explicit GuideGrid(QWidget* parent);
    ~GuideGrid() override;

    /// The rows and the day shown: [dayStart, dayStart + 24 h) from the store.
    void show(const guide::GuideStore* store, std::vector<std::string> channels,
              guide::UnixTime dayStart, guide::UnixTime now);
    /// Scrolls the current time into view, the current row kept.
    void scrollToTime(guide::UnixTime at);

    int currentRow() const { return row_; }
    /// The current programme; nothing where the row has none.
    std::optional<guide::Programme> currentProgramme() const;
    std::string currentChannel() const;
    /// The programme's channel, title and times as its cell is named for screen readers.
    QString cellName(int row, const guide::Programme& programme) const;
    /// Makes the programme at this time of the row current.
    void select(int row, guide::UnixTime at);
    /// The cells in view, as screen readers are given them: name, place in the viewport and
    /// whether it is the current one. Made again after each change of what is in view.
    struct Cell {
        QString name;
        QRect rect;
        bool current = false;
    };
    const std::vector<Cell>& accessibleCells() const;
    /// The screen readers' id of a cell in view, made with make at its first asking.
    QAccessible::Id cellId(int index, const std::function<QAccessibleInterface*()>& make) const;
    /// How many rows the last paint laid out.
    int rowsLaidOut() const { return rowsLaidOut_; }

  signals:
    void currentChanged();
    void activated();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    std::vector<guide::Programme> programmesOf(int row) const;
    guide::UnixTime timeAtX(int x) const;
    int xOfTime(guide::UnixTime at) const;
    void updateScrollBars();
    /// What is in view changed: the cells screen readers know go.
    void viewChanged();
    void ensureCurrentVisible();

    const guide::GuideStore* store_ = nullptr;
    std::vector<std::string> channels_;
    guide::UnixTime dayStart_ = 0;
    guide::UnixTime now_ = 0;
    int row_ = 0;
    guide::UnixTime at_ = 0;
    int rowsLaidOut_ = 0;
    mutable std::vector<Cell> cells_;
    mutable bool cellsStale_ = true;
    mutable std::vector<QAccessible::Id> cellIds_;
};

}  // namespace qova::ui
