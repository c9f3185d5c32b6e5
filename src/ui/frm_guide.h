#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;

namespace qova::ui {

class GuideGrid;
class GuideService;

/// The "Programme guide" window: the channels the tree shows (a country's, or the favourites)
/// as rows, a day's time across, scrolled to now; a click on a programme shows what it is, a
/// double-click or Enter plays its channel. A channel's guide channel may be chosen by hand.
class FrmGuide : public QWidget {
    Q_OBJECT
  public:
    using Channels = std::function<std::vector<std::string>()>;
    using Play = std::function<void(int row)>;

    FrmGuide(QWidget* owner, GuideService& guide, Channels channels, Play play);

    /// Shows the window with the tree's channels, today, at now.
    void showWindow();
    /// The guide or the channels changed: shown anew, the place kept.
    void refresh();

    GuideGrid* grid() const { return grid_; }
    QLabel* description() const { return description_; }
    QComboBox* day() const { return day_; }

  private:
    void chooseGuideChannel();
    void describe();
    qint64 dayStart(int offset) const;

    GuideService& guide_;
    Channels channels_;
    Play play_;
    GuideGrid* grid_;
    QComboBox* day_;
    QLabel* description_;
};

}  // namespace qova::ui
