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
    FrmChannelLists(QWidget* owner, directory::AddedLists& lists, ChooseFile chooseFile);
    ~FrmChannelLists() override;

    /// Shows the window with the address field ready for typing.
    void showToAdd();
    /// The lists as shown, for the tests and the screen reader alike.
    QTableWidget* table() const { return table_; }

  private:
    void addTyped();
    void removeSelected();
    void showLists();
    void say(const QString& text);

    directory::AddedLists& lists_;
    ChooseFile chooseFile_;
    QTableWidget* table_;
    QLineEdit* address_;
    QLabel* message_;
    QPushButton* remove_;
};

}  // namespace qova::ui
