#pragma once

#include <QMainWindow>
#include <memory>
#include <string>

#include "app/main_form.h"
#include "app/site.h"

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace qova::platform {
class FlatTreeWidget;
class NetworkBrowser;
class PlayerProbe;
class PlayerView;
class PosixTextFiles;
class QtComboBox;
class QtFormWindow;
class QtMessageBox;
class QtPictureButton;
class QtShell;
class QtTreeView;
class Shell;
class WebView;
}  // namespace qova::platform

namespace qova::ui {

class FrmBrowser;
class LinkLabel;
class QtSecondaryWindows;

/// What the main window is started with; tests give their own folder, site and limits.
struct FrmMainOptions {
    std::string programFolder;
    app::Site site;
    /// How long the browsers wait for a server that does not answer.
    int noAnswerTimeoutMs = 30000;
    /// The player-presence test; the media engine's own when not given.
    std::unique_ptr<platform::PlayerProbe> probe;
    /// The sound output of the player area ("" for the desktop's own; "null" for silence).
    std::string audioOutput;
    /// Opens addresses outside the program; the desktop's default programs when not given.
    std::unique_ptr<platform::Shell> shell;
};

/// The main window: its controls at their places, translating their events into calls on the
/// window's logic.
class FrmMain : public QMainWindow {
    Q_OBJECT
  public:
    explicit FrmMain(FrmMainOptions options, QWidget* parent = nullptr);
    ~FrmMain() override;

    /// The load step; runs once, before the window is first shown.
    void load();

    /// Folds the information panel away, unfolds it, and opens it full size in its own window.
    void imgArrow_Click();
    void imgDownArrow_Click();
    void imgFullScreen_Click();

    app::MainForm& logic() { return *logic_; }
    QComboBox* countryList() const { return cmbCountry_; }
    platform::FlatTreeWidget* channelTree() const { return trView_; }
    QtSecondaryWindows& secondaryWindows() { return *windows_; }
    platform::PlayerView& playerArea() const { return *wbMain_; }
    platform::WebView& informationArea() const { return *wbArea_; }
    /// The browser window, once it has been opened.
    FrmBrowser* browserWindow() const { return frmBrowser_.get(); }

  private:
    void buildControls();
    void buildMenus();
    void wireEvents();

    FrmMainOptions options_;

    QFrame* frmUpper_ = nullptr;
    QFrame* frmLower_ = nullptr;
    QPushButton* cmdStopButton_ = nullptr;
    QPushButton* imgHome_ = nullptr;
    QPushButton* imgTVOnDemand_ = nullptr;
    QPushButton* imgStreamTest_ = nullptr;
    QPushButton* imgVideoSearch_ = nullptr;
    QPushButton* imgFavorits_ = nullptr;
    QPushButton* imgRadio_ = nullptr;
    QPushButton* imgTV_ = nullptr;
    QComboBox* cmbCountry_ = nullptr;
    QPushButton* cmdFavorite_ = nullptr;
    QPushButton* cmdRemoveFav_ = nullptr;
    QPushButton* cmdAddFav_ = nullptr;
    platform::FlatTreeWidget* trView_ = nullptr;
    platform::PlayerView* wbMain_ = nullptr;
    QWidget* wbDownloadArea_ = nullptr;
    platform::WebView* wbArea_ = nullptr;
    LinkLabel* imgDownArrow_ = nullptr;
    LinkLabel* imgArrow_ = nullptr;
    LinkLabel* imgFullScreen_ = nullptr;

    std::unique_ptr<platform::QtFormWindow> window_;
    std::unique_ptr<platform::NetworkBrowser> wbDownload_;
    std::unique_ptr<platform::QtTreeView> tree_;
    std::unique_ptr<platform::QtComboBox> combo_;
    std::unique_ptr<platform::QtPictureButton> favorite_;
    std::unique_ptr<platform::QtPictureButton> addFav_;
    std::unique_ptr<platform::QtPictureButton> removeFav_;
    std::unique_ptr<platform::QtMessageBox> messages_;
    std::unique_ptr<platform::Shell> shell_;
    std::unique_ptr<platform::PosixTextFiles> files_;
    app::SharedStrings shared_;
    std::unique_ptr<QtSecondaryWindows> windows_;
    std::unique_ptr<app::MainControls> controls_;
    std::unique_ptr<app::MainForm> logic_;
    std::unique_ptr<FrmBrowser> frmBrowser_;
};

/// Makes Tahoma, or a font with its metrics, the application's font.
void useWindowFont();

}  // namespace qova::ui
