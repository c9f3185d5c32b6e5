#pragma once

#include <QDialog>
#include <QLabel>
#include <functional>
#include <memory>

#include "platform/secondary_windows.h"
#include "platform/shell.h"
#include "state/shared_strings.h"
#include "state/site.h"
#include "ui/layout.h"

namespace qova::ui {

/// A label that acts as a link: a pointing hand over it, and a click opens something.
class LinkLabel : public QLabel {
    Q_OBJECT
  public:
    explicit LinkLabel(QWidget* parent);

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

/// A small fixed window over the main window: dark, no caption text, no minimize or maximize
/// button, closed with its close box.
class SmallWindow : public QDialog {
    Q_OBJECT
  public:
    SmallWindow(QWidget* owner, const char* objectName, int heightTwips);

  protected:
    QLabel* place(QLabel* text, const char* objectName, TwipRect where, double points, bool bold,
                  Qt::Alignment alignment);
    QLabel* label(const char* objectName, int left, int top, int width, int height, double points,
                  bool bold, Qt::Alignment alignment);
    LinkLabel* link(const char* objectName, int left, int top, int width, int height, double points,
                    bool bold, Qt::Alignment alignment);
};

/// The contact window: the contact text in upper case and the support address.
class FrmCommon : public SmallWindow {
    Q_OBJECT
  public:
    FrmCommon(QWidget* owner, const state::SharedStrings& shared, const state::Site& site,
              platform::Shell& shell);
    void Form_Load();

  private:
    const state::SharedStrings& shared_;
    QLabel* lblMain_;
    LinkLabel* lblLink_;
};

/// The about window: the logo, the product's name, the support address and the web site.
class FrmAbout : public SmallWindow {
    Q_OBJECT
  public:
    FrmAbout(QWidget* owner, const state::Site& site, platform::Shell& shell);
};

/// The window naming the player a channel needs, with a link to its download page.
class FrmSoftRequired : public SmallWindow {
    Q_OBJECT
  public:
    FrmSoftRequired(QWidget* owner, const state::SharedStrings& shared, platform::Shell& shell);
    void Form_Load();

  private:
    const state::SharedStrings& shared_;
    QLabel* lblHeading_;
    QLabel* lblCenter_;
    LinkLabel* lblDownload_;
};

/// The three windows, each made at its first showing and kept for the run.
class QtSecondaryWindows : public platform::SecondaryWindows {
  public:
    QtSecondaryWindows(QWidget* owner, const state::SharedStrings& shared, const state::Site& site,
                       platform::Shell& shell);
    ~QtSecondaryWindows() override;
    void showCommon() override;
    void showAbout() override;
    void showSoftRequired() override;

    /// Runs when a window has loaded and is about to wait for the user (for tests).
    std::function<void(QDialog&)> onShown;

  private:
    void run(QDialog& window);
    QWidget* owner_;
    const state::SharedStrings& shared_;
    const state::Site& site_;
    platform::Shell& shell_;
    std::unique_ptr<FrmCommon> common_;
    std::unique_ptr<FrmAbout> about_;
    std::unique_ptr<FrmSoftRequired> softRequired_;
};

}  // namespace qova::ui
