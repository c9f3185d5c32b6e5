#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>

#include "app/main_form.h"
#include "state/site.h"
#include "web/page_loading.h"

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

class QMenu;

namespace qova::desktop {
class PowerAndNetwork;
}  // namespace qova::desktop
namespace qova::neighbours {
class NeighbourKeeper;
}  // namespace qova::neighbours
namespace qova::platform {
class DesktopPlayer;
class PlayerProbe;
class PosixTextFiles;
class ScreenSaver;
class Settings;
class Shell;
}  // namespace qova::platform
namespace qova::qt {
class FlatTreeWidget;
class QtComboBox;
class QtFormWindow;
class QtMessageBox;
class QtPictureButton;
class QtTreeView;
}  // namespace qova::qt
namespace qova::web {
class NetworkBrowser;
class NetworkListFetcher;
class NetworkStreamChecker;
class WebView;
}  // namespace qova::web
namespace qova::player {
class MpvLoudness;
class PlayerView;
}  // namespace qova::player

namespace qova::ui {

class DiscoverServices;
class FrmBrowser;
class FrmGuide;
class FrmGuides;
class GuideDesktop;
class GuideOverlay;
class GuideService;
class FrmChannelLists;
class FrmDiscover;
class LinkLabel;
class QtSecondaryWindows;

/// What the main window is started with; tests give their own folder, site and limits.
struct FrmMainOptions {
    /// Where the program's files are kept: beside it, or the user's data folder.
    std::string programFolder;
    /// The program's own folder when the files are kept elsewhere: Config.txt is read from it
    /// where the files' folder has none.
    std::string defaultsFolder;
    state::Site site;
    /// How long the browsers wait for a server that does not answer.
    int noAnswerTimeoutMs = 30000;
    /// How long the directory's download, and each added list's, may take in all, however
    /// steadily their servers send.
    int directoryTransferLimitMs = web::kPageTransferLimitMs;
    int listTransferLimitMs = web::kListTransferLimitMs;
    /// The player-presence test; the media engine's own when not given.
    std::unique_ptr<platform::PlayerProbe> probe;
    /// The sound output of the player area ("" for the desktop's own; "null" for silence).
    std::string audioOutput;
    /// Opens addresses outside the program; the desktop's default programs when not given.
    std::unique_ptr<platform::Shell> shell;
    /// The desktop's media keys (MPRIS) and screen saver; the session bus's when not given.
    std::unique_ptr<platform::DesktopPlayer> desktop;
    std::unique_ptr<platform::ScreenSaver> screenSaver;
    /// How long a channel check waits for an answer.
    int channelCheckLimitMs = 5000;
    /// Where the battery's and the network's services are asked: the system bus, or for tests
    /// standing in for them, the session bus.
    bool powerOnSessionBus = false;
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

    /// The picture fills the screen, or comes back into the window where it was.
    void toggleFullScreen();
    bool isPlayerFullScreen() const { return playerFullScreen_; }

    app::MainForm& logic() { return *logic_; }
    QComboBox* countryList() const { return cmbCountry_; }
    qt::FlatTreeWidget* channelTree() const { return trView_; }
    QtSecondaryWindows& secondaryWindows() { return *windows_; }
    player::PlayerView& playerArea() const { return *wbMain_; }
    web::WebView& informationArea() const { return *wbArea_; }
    /// The browser window, once it has been opened.
    FrmBrowser* browserWindow() const { return frmBrowser_.get(); }

    /// What a file is asked for: the favourites to write or to read, or a channel list to add.
    enum class FileUse { ExportFavourites, ImportFavourites, AddList, RecordingsFolder };
    /// Asks for a file; "" when the user gives none. The desktop's file dialog unless a test
    /// answers instead.
    std::function<QString(FileUse use, const QString& suggested)> chooseFile;
    /// The channel lists window, once it has been opened.
    FrmChannelLists* channelListsWindow() const { return frmChannelLists_.get(); }
    /// What keeps the neighbouring channels ready.
    const neighbours::NeighbourKeeper& neighbourKeeper() const { return *neighbours_; }
    /// The discover window, once it has been opened.
    FrmDiscover* discoverWindow() const { return frmDiscover_.get(); }
    /// The programme guide, and its windows once they have been opened.
    GuideService& guide() { return *guide_; }
    FrmGuide* guideWindow() const { return frmGuide_.get(); }
    FrmGuides* guidesWindow() const { return frmGuides_.get(); }
    /// Tells the user how a command on files went; a message box unless a test listens instead.
    std::function<void(const QString& text, bool failed)> tell;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildControls();
    void buildMenus();
    void buildPlaybackMenu();
    void buildRecordingCommands();
    void buildChannelsMenu();
    void buildEqualLoudness(const std::string& settingsFile);
    void buildNeighbours(bool freshSettings);
    void buildVideoNeighbours(QAction& neighbours);
    /// A choice of the Playback menu kept in the settings under `key`: applied now as it was
    /// left (off when never chosen), and again, and kept, whenever the person changes it.
    QAction* addPlaybackChoice(const QString& text, const char* name, const QKeySequence& keys,
                               const QString& toolTip, const char* key,
                               const std::function<void(bool)>& apply);
    void openChannelLists(bool toAdd);
    void openDiscover();
    void buildGuide();
    void wireGuide();
    void openGuide();
    void openGuides();
    void buildCheckBar();
    void setTabOrder();
    void wireEvents();
    void copyTitle();
    bool closeAfterModalWindows();

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
    qt::FlatTreeWidget* trView_ = nullptr;
    player::PlayerView* wbMain_ = nullptr;
    QWidget* wbDownloadArea_ = nullptr;
    web::WebView* wbArea_ = nullptr;
    LinkLabel* imgDownArrow_ = nullptr;
    LinkLabel* imgArrow_ = nullptr;
    LinkLabel* imgFullScreen_ = nullptr;
    QMenu* mnuPlayback_ = nullptr;
    QMenu* mnuChannels_ = nullptr;
    QWidget* searchField_ = nullptr;
    bool playerFullScreen_ = false;
    QRect playerPlace_;
    // A close waiting for modal windows to end: the event loop level to come back to; -1 for none.
    int closeAtLoopLevel_ = -1;

    std::unique_ptr<qt::QtFormWindow> window_;
    std::unique_ptr<web::NetworkBrowser> wbDownload_;
    std::unique_ptr<qt::QtTreeView> tree_;
    std::unique_ptr<qt::QtComboBox> combo_;
    std::unique_ptr<qt::QtPictureButton> favorite_;
    std::unique_ptr<qt::QtPictureButton> addFav_;
    std::unique_ptr<qt::QtPictureButton> removeFav_;
    std::unique_ptr<qt::QtMessageBox> messages_;
    std::unique_ptr<platform::Shell> shell_;
    std::unique_ptr<platform::PosixTextFiles> files_;
    std::unique_ptr<platform::Settings> settings_;
    std::unique_ptr<web::NetworkListFetcher> listFetcher_;
    // Fetches the discovered lists and lets the others through to listFetcher_.
    std::unique_ptr<DiscoverServices> discover_;
    std::unique_ptr<web::NetworkStreamChecker> streamChecker_;
    state::SharedStrings shared_;
    std::unique_ptr<QtSecondaryWindows> windows_;
    // Before the controls that name them, so that they outlive the logic.
    std::unique_ptr<GuideService> guide_;
    std::unique_ptr<GuideOverlay> guideOverlay_;
    std::unique_ptr<GuideDesktop> guideDesktop_;
    std::unique_ptr<state::MainControls> controls_;
    std::unique_ptr<app::MainForm> logic_;
    std::unique_ptr<FrmBrowser> frmBrowser_;
    std::unique_ptr<FrmChannelLists> frmChannelLists_;
    std::unique_ptr<FrmDiscover> frmDiscover_;
    std::unique_ptr<FrmGuide> frmGuide_;
    std::unique_ptr<FrmGuides> frmGuides_;
    // Levels what the player area plays; goes before the files it keeps its measures in.
    std::unique_ptr<player::MpvLoudness> loudness_;
    // Keeps the neighbouring channels ready; the record that plays and the one before it.
    std::unique_ptr<neighbours::NeighbourKeeper> neighbours_;
    std::unique_ptr<desktop::PowerAndNetwork> power_;
    std::string playingRecord_;
    std::string playedBefore_;
};

/// Makes Tahoma, or a font with its metrics, the application's font.
void useWindowFont();

}  // namespace qova::ui
