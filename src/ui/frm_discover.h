#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "discover/discovery.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTimer;

namespace qova::ui {

/// "Discover channels": a country's radio stations and TV channels added with a press, without
/// knowing an address, and the radio stations of every country found by name. Not modal: the
/// player goes on being used beside it. The window only passes what is done in it on to its
/// logic, and shows what the logic says.
class FrmDiscover : public QDialog {
    Q_OBJECT
  public:
    /// Plays stations found (directory lines), starting with the one at index.
    using Play = std::function<void(const std::vector<std::string>& records, std::size_t index)>;
    /// Keeps a station as a favourite; how many favourites were added.
    using Keep = std::function<int(const std::string& record)>;

    FrmDiscover(QWidget* owner, discover::Discovery& discovery, Play play, Keep keep);
    ~FrmDiscover() override;

    /// Shows the window, asking the database for its countries unless it told them already.
    void showWindow();

    QComboBox* countries() const { return countries_; }
    QTableWidget* lists() const { return lists_; }
    QListWidget* found() const { return found_; }

  private:
    void showAll();
    void showCountries();
    void showFound();
    std::string chosenCountry() const;

    discover::Discovery& discovery_;
    Play play_;
    Keep keep_;
    QComboBox* countries_;
    QLabel* note_;
    QTableWidget* lists_;
    QLineEdit* search_;
    QTimer* searchLater_;
    QListWidget* found_;
    QLabel* searchNote_;
    QPushButton* keepButton_;
    int countriesShown_ = -1;
    // What the keep button said last, until the next search or choice.
    QString kept_;
};

}  // namespace qova::ui
