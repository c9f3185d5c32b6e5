#pragma once

#include <QDialog>
#include <functional>

#include "directory/added_lists.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace qova::ui {

/// The channel lists added beside the directory: each with its channels, when it was fetched
/// and what went wrong; an address or a file to add, and a list to remove or fetch anew. Not
/// modal: the player goes on being used beside it.
class FrmChannelLists : public QDialog {
    Q_OBJECT
  public:
    using ChooseFile = std::function<QString()>;
    /// How many channels of the added lines from begin to end did not answer their last check.
    using NotAnswering = std::function<std::size_t(std::size_t begin, std::size_t end)>;
    FrmChannelLists(QWidget* owner, directory::AddedLists& lists, ChooseFile chooseFile,
                    NotAnswering notAnswering);

    /// Shows the window with the address field ready for typing.
    void showToAdd();
    /// What the programme guide says of a list ("guide: 8 of 9 channels, updated 2 h ago"), shown
    /// with its state; "" says nothing.
    std::function<std::string(const std::string& address)> guideCoverage;
    /// The lists as shown, for the tests and the screen reader alike.
    QTableWidget* table() const { return table_; }
    /// Shows the lists as they are now.
    void showLists();

  private:
    void addTyped();
    void removeSelected();
    void say(const QString& text);

    directory::AddedLists& lists_;
    ChooseFile chooseFile_;
    NotAnswering notAnswering_;
    QTableWidget* table_;
    QLineEdit* address_;
    QLabel* message_;
    QPushButton* remove_;
};

}  // namespace qova::ui
