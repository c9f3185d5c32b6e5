#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;

namespace qova::ui {

class GuideService;

/// The "Guides" window: the guides a person added by address or file and those the lists name,
/// with how the last refresh went; adds and removes the person's own, fetches all anew.
class FrmGuides : public QWidget {
    Q_OBJECT
  public:
    FrmGuides(QWidget* owner, GuideService& guide, std::function<QString()> chooseFile);

    void showWindow();
    void showGuides();
    QListWidget* list() const { return list_; }
    QLineEdit* address() const { return address_; }
    QLabel* status() const { return status_; }

  private:
    void add(const QString& address);

    GuideService& guide_;
    std::function<QString()> chooseFile_;
    QListWidget* list_;
    QLineEdit* address_;
    QLabel* status_;
};

}  // namespace qova::ui
