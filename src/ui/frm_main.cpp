#include "ui/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include "desktop/mpris.h"
#include "desktop/power_and_network.h"
#include "desktop/screen_saver.h"
#include "directory/channel_tree.h"
#include "neighbours/neighbour_keeper.h"
#include "platform/posix_text_files.h"
#include "player/mpv_loudness.h"
#include "player/mpv_player.h"
#include "player/mpv_probe.h"
#include "player/player_overlay_widget.h"
#include "player/player_view.h"
#include "qt/qt_combo_box.h"
#include "qt/qt_form_window.h"
#include "qt/qt_message_box.h"
#include "qt/qt_picture_button.h"
#include "qt/qt_settings.h"
#include "qt/qt_shell.h"
#include "qt/qt_tree_view.h"
#include "state/messages.h"
#include "ui/artwork.h"
#include "ui/discover_services.h"
#include "ui/frm_browser.h"
#include "ui/frm_channel_lists.h"
#include "ui/frm_discover.h"
#include "ui/frm_guide.h"
#include "ui/frm_guides.h"
#include "ui/guide_lines.h"
#include "ui/guide_service.h"
#include "ui/layout.h"
#include "ui/secondary_windows.h"
#include "ui/window_style.h"
#include "web/network_browser.h"
#include "web/network_list_fetcher.h"
#include "web/network_stream_checker.h"
#include "web/web_view.h"

namespace qova::ui {
namespace {

// Beside the program, in Qt's settings format: volume and mute, written when they change.
constexpr const char* kSettingsFile = "settings.ini";
// How soon a close that waits for modal windows looks again whether their loops have returned.
constexpr std::chrono::milliseconds kCloseRetry{10};

std::shared_ptr<qt::QtPicture> picture(Artwork artwork) {
    return std::make_shared<qt::QtPicture>(artworkIcon(artwork), artworkSize(artwork));
}

/// A new control of the window, named for the code and for screen readers, at its place.
template <typename Widget>
Widget* placed(QWidget* parent, const char* objectName, const char* accessibleName,
               TwipRect place) {
    auto* widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(objectName));
    widget->setAccessibleName(QString::fromUtf8(accessibleName));
    widget->setGeometry(toPixels(place));
    return widget;
}

QPushButton* pictureButton(QWidget* parent, const char* objectName, const char* name,
                           TwipRect place) {
    auto* button = placed<QPushButton>(parent, objectName, name, place);
    button->setToolTip(button->accessibleName());
    button->setFlat(true);
    return button;
}

/// A clickable picture that takes no focus.
LinkLabel* image(QWidget* parent, const char* objectName, const char* name, TwipRect place) {
    auto* label = placed<LinkLabel>(parent, objectName, name, place);
    label->setToolTip(label->accessibleName());
    return label;
}

}  // namespace

void useWindowFont() {
    if (!QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
        // Wine's Tahoma has the metrics the layout was drawn for.
        for (const char* file :
             {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
            QFontDatabase::addApplicationFont(QString::fromLatin1(file));
        }
    }
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(8.25);
    font.setStyleHint(QFont::SansSerif);
    QApplication::setFont(font);
}

FrmMain::FrmMain(FrmMainOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
    // Asked while the window is built; the engine itself starts at the first channel.
    if (!options_.probe)
        options_.probe = player::probeAskingInBackground();
    setWindowTitle(QString::fromUtf8(state::kProductName));
    setWindowIcon(artworkIcon(Artwork::AppIcon));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    buildMenus();
    buildControls();

    files_ =
        std::make_unique<platform::PosixTextFiles>(options_.programFolder, options_.defaultsFolder,
                                                   std::vector<std::string>{state::kConfigFile});
    window_ = std::make_unique<qt::QtFormWindow>(this);
    wbDownload_ = std::make_unique<web::NetworkBrowser>(nullptr, options_.noAnswerTimeoutMs,
                                                        options_.directoryTransferLimitMs);
    tree_ = std::make_unique<qt::QtTreeView>(
        trView_,
        std::array<QIcon, 2>{artworkIcon(Artwork::StarOutline), artworkIcon(Artwork::StarFilled)});
    combo_ = std::make_unique<qt::QtComboBox>(cmbCountry_, true, directory::kListBackColour,
                                              directory::kListForeColour);
    addFav_ = std::make_unique<qt::QtPictureButton>(cmdAddFav_, picture(Artwork::AddFavourite));
    removeFav_ =
        std::make_unique<qt::QtPictureButton>(cmdRemoveFav_, picture(Artwork::RemoveFavourite));
    favorite_ = std::make_unique<qt::QtPictureButton>(cmdFavorite_, addFav_->picture());
    messages_ = std::make_unique<qt::QtMessageBox>(this);
    shell_ = options_.shell ? std::move(options_.shell) : std::make_unique<qt::QtShell>();
    windows_ = std::make_unique<QtSecondaryWindows>(this, shared_, options_.site, *shell_);
    settings_ = std::make_unique<qt::QtSettings>(options_.programFolder + "/" + kSettingsFile);
    if (!options_.desktop)
        options_.desktop = std::make_unique<desktop::Mpris>(QStringLiteral("qova"));
    if (!options_.screenSaver)
        options_.screenSaver = std::make_unique<desktop::ScreenSaver>();
    listFetcher_ = std::make_unique<web::NetworkListFetcher>(nullptr, options_.noAnswerTimeoutMs,
                                                             options_.listTransferLimitMs);
    discover_ = std::make_unique<DiscoverServices>(*listFetcher_, options_.noAnswerTimeoutMs,
                                                   options_.listTransferLimitMs);
    streamChecker_ = std::make_unique<web::NetworkStreamChecker>(
        nullptr, wbMain_->player().defaultUserAgent(), options_.channelCheckLimitMs);
    buildGuide();
    controls_ = std::make_unique<state::MainControls>(state::MainControls{*window_,
                                                                          *wbDownload_,
                                                                          *wbMain_,
                                                                          wbMain_->player(),
                                                                          *wbArea_,
                                                                          *tree_,
                                                                          *combo_,
                                                                          *favorite_,
                                                                          *addFav_,
                                                                          *removeFav_,
                                                                          *messages_,
                                                                          *options_.probe,
                                                                          *shell_,
                                                                          *files_,
                                                                          *windows_,
                                                                          shared_,
                                                                          *guideOverlay_,
                                                                          *settings_,
                                                                          *guideDesktop_,
                                                                          *options_.screenSaver,
                                                                          discover_->listFetcher(),
                                                                          *streamChecker_});
    logic_ = std::make_unique<app::MainForm>(*controls_, options_.site);
    discover_->attach(*logic_);
    buildPlaybackMenu();
    buildChannelsMenu();
    wireGuide();
    buildEqualLoudness(options_.programFolder + "/" + kSettingsFile);
    wireEvents();
}

FrmMain::~FrmMain() {
    // The picture filling the screen is a window of its own, which would outlive this one.
    if (playerFullScreen_)
        wbMain_->setParent(frmUpper_);
    // Closing the main window unloads it: playback, the directory browser and the panel go with
    // it. A browser window still open lives on until its own close box, and the program ends
    // with the last of them.
    if (frmBrowser_ && frmBrowser_->isVisible()) {
        frmBrowser_->setAttribute(Qt::WA_DeleteOnClose);
        frmBrowser_.release();
    }
}

void FrmMain::closeEvent(QCloseEvent* event) {
    if (closeAfterModalWindows()) {
        event->ignore();
        return;
    }
    // Whatever window is in front: the picture filling the screen comes back, and goes with this
    // window.
    if (playerFullScreen_)
        toggleFullScreen();
    QMainWindow::closeEvent(event);
}

bool FrmMain::closeAfterModalWindows() {
    // A close that comes while a modal window waits for the user (the desktop's Quit) would
    // unload the window under that window's own event loop, with the handler that opened it
    // still to return into it. The modal windows close first, and this one once their loops
    // have returned: each modal window of the program runs a loop of its own.
    const auto dismiss = [](QWidget* modal) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    };
    const int level = QThread::currentThread()->loopLevel();
    if (closeAtLoopLevel_ < 0) {
        if (QApplication::activeModalWidget() == nullptr)
            return false;
        closeAtLoopLevel_ = level;
        while (QWidget* modal = QApplication::activeModalWidget()) {
            dismiss(modal);
            --closeAtLoopLevel_;
            if (QApplication::activeModalWidget() == modal)
                break;
        }
    } else {
        // One that opened meanwhile goes too.
        if (QWidget* modal = QApplication::activeModalWidget())
            dismiss(modal);
        if (level <= closeAtLoopLevel_ && QApplication::activeModalWidget() == nullptr) {
            closeAtLoopLevel_ = -1;
            return false;
        }
    }
    QTimer::singleShot(kCloseRetry, this, &QWidget::close);
    return true;
}

void FrmMain::load() {
    logic_->Form_Load();
    guide_->load();
}

void FrmMain::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    QAction* exit = file->addAction(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("mnuExit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    // The program's own commands, between the window's first two menus.
    mnuPlayback_ = menuBar()->addMenu(QStringLiteral("&Playback"));
    mnuPlayback_->setObjectName(QStringLiteral("mnuPlayback"));
    mnuChannels_ = menuBar()->addMenu(QStringLiteral("&Channels"));
    mnuChannels_->setObjectName(QStringLiteral("mnuChannels"));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    QAction* contact = help->addAction(QStringLiteral("Contact &Us"));
    contact->setObjectName(QStringLiteral("mnuCont"));
    connect(contact, &QAction::triggered, this, [this] { logic_->mnuCont_Click(); });

    QMenu* about = menuBar()->addMenu(QStringLiteral("&About"));
    about->setObjectName(QStringLiteral("mnuAbout"));
    QAction* aboutUs =
        about->addAction(QString::fromUtf8("About &QOVA \u2013 TV and Radio Player"));
    aboutUs->setObjectName(QStringLiteral("mnuAboutUs"));
    connect(aboutUs, &QAction::triggered, this, [this] { logic_->mnuAboutUs_Click(); });
}

void FrmMain::buildControls() {
    namespace L = main_layout;
    auto* client = new QWidget(this);
    paintDark(*client);
    setCentralWidget(client);

    frmUpper_ = placed<QFrame>(client, "frmUpper", "Channels and player", L::frmUpper);
    paintDark(*frmUpper_);

    struct Tile {
        QPushButton** button;
        const char* objectName;
        const char* accessible;
        TwipRect place;
        Artwork artwork;
    };
    const Tile tiles[] = {
        {&imgTV_, "imgTV", "TV", L::imgTV, Artwork::Tv},
        {&imgRadio_, "imgRadio", "Radio", L::imgRadio, Artwork::Radio},
        {&imgFavorits_, "imgFavorits", "Favourites", L::imgFavorits, Artwork::Favourites},
        {&imgTVOnDemand_, "imgTVOnDemand", "On Demand", L::imgTVOnDemand, Artwork::OnDemand},
        {&imgVideoSearch_, "imgVideoSearch", "Video Search", L::imgVideoSearch,
         Artwork::VideoSearch},
        {&imgStreamTest_, "imgStreamTest", "Stream Test", L::imgStreamTest, Artwork::StreamTest},
        {&imgHome_, "imgHome", "Home", L::imgHome, Artwork::Home},
        {&cmdStopButton_, "cmdStopButton", "Stop", L::cmdStopButton, Artwork::Stop},
    };
    for (const Tile& t : tiles) {
        *t.button = pictureButton(frmUpper_, t.objectName, t.accessible, t.place);
        (*t.button)->setIcon(artworkIcon(t.artwork));
        (*t.button)->setIconSize(artworkSize(t.artwork));
    }

    cmbCountry_ = placed<QComboBox>(frmUpper_, "cmbCountry", "Country", L::cmbCountry);
    // A list's accessible name is its current entry on some desktops; the description stays.
    cmbCountry_->setAccessibleDescription(QStringLiteral("Country"));

    cmdFavorite_ = pictureButton(frmUpper_, "cmdFavorite", "Favourite", L::cmdFavorite);
    cmdRemoveFav_ = pictureButton(frmUpper_, "cmdRemoveFav", "Remove favourite", L::cmdRemoveFav);
    cmdAddFav_ = pictureButton(frmUpper_, "cmdAddFav", "Add favourite", L::cmdAddFav);
    cmdRemoveFav_->hide();
    cmdAddFav_->hide();

    trView_ = placed<qt::FlatTreeWidget>(frmUpper_, "trView", "Channels", L::trView);

    player::PlayerViewOptions player;
    player.audioOutput = options_.audioOutput;
    wbMain_ = new player::PlayerView(frmUpper_, player);
    wbMain_->setObjectName(QStringLiteral("wbMain"));
    wbMain_->setAccessibleName(QStringLiteral("Player"));
    wbMain_->setGeometry(toPixels(L::wbMain));

    // The directory browser shows nothing: it lies just left of the client area.
    wbDownloadArea_ = placed<QWidget>(client, "wbDownload", "", L::wbDownload);

    frmLower_ = placed<QFrame>(client, "frmLower", "Information panel", L::frmLower);
    paintDark(*frmLower_);

    wbArea_ = new web::WebView(frmLower_, options_.noAnswerTimeoutMs);
    wbArea_->setObjectName(QStringLiteral("wbArea"));
    wbArea_->setAccessibleName(QStringLiteral("Information"));
    wbArea_->setGeometry(toPixels(L::wbArea));
    wbArea_->setFrameShape(QFrame::NoFrame);
    // Without a connection a new user would otherwise meet a browser's bare error as the first
    // words of the program.
    wbArea_->setErrorPage(
        QStringLiteral("<html><head><title>%1</title></head><body>"
                       "<p><b>%1</b></p><p>The service's information page cannot be reached "
                       "now. Channels play all the same.</p><p>The channel directory is set in "
                       "%2.</p><p>New here? <b>Channels &gt; Discover channels...</b> (Ctrl+D) "
                       "adds the radio stations and TV channels of your country.</p>"
                       "</body></html>")
            .arg(QString::fromUtf8(state::kProductName).toHtmlEscaped(),
                 QString::fromStdString(options_.programFolder + "/" + state::kConfigFile)
                     .toHtmlEscaped()));

    imgDownArrow_ = image(frmLower_, "imgDownArrow", "Show the information panel", L::imgDownArrow);
    imgArrow_ = image(frmLower_, "imgArrow", "Hide the information panel", L::imgArrow);
    imgFullScreen_ = image(frmLower_, "imgFullScreen", "Full screen", L::imgFullScreen);
    const std::pair<QLabel*, Artwork> pictures[] = {{imgDownArrow_, Artwork::ArrowUnfold},
                                                    {imgArrow_, Artwork::ArrowFold},
                                                    {imgFullScreen_, Artwork::FullScreen}};
    for (const auto& [label, artwork] : pictures) {
        label->setPixmap(artworkIcon(artwork).pixmap(artworkSize(artwork), devicePixelRatioF()));
    }
    imgDownArrow_->hide();
    setTabOrder();
    // The user cannot resize the window; only folding the panel changes its height, and the
    // shorter client area then cuts the lower frame off.
    const QSize clientArea = toPixels(L::kClientArea).size();
    setFixedSize(clientArea.width(), clientArea.height() + menuBar()->sizeHint().height());
}

void FrmMain::setTabOrder() {
    // Tab goes round the controls in the window's own order, the information panel first.
    QWidget* const tabOrder[] = {wbArea_,        cmdAddFav_,   cmdRemoveFav_,   cmdFavorite_,
                                 trView_,        cmbCountry_,  wbMain_,         imgTV_,
                                 imgRadio_,      imgFavorits_, imgVideoSearch_, imgStreamTest_,
                                 imgTVOnDemand_, imgHome_,     cmdStopButton_};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void FrmMain::wireEvents() {
    connect(imgTV_, &QPushButton::clicked, this, [this] { logic_->imgTV_Click(); });
    connect(imgRadio_, &QPushButton::clicked, this, [this] { logic_->imgRadio_Click(); });
    connect(imgFavorits_, &QPushButton::clicked, this, [this] { logic_->imgFavorits_Click(); });
    connect(cmdStopButton_, &QPushButton::clicked, this, [this] { logic_->cmdStopButton_Click(); });
    connect(imgHome_, &QPushButton::clicked, this, [this] { logic_->imgHome_Click(); });
    connect(imgTVOnDemand_, &QPushButton::clicked, this, [this] { logic_->imgTVOnDemand_Click(); });
    connect(imgVideoSearch_, &QPushButton::clicked, this,
            [this] { logic_->imgVideoSearch_Click(); });
    connect(imgStreamTest_, &QPushButton::clicked, this, [this] { logic_->imgStreamTest_Click(); });
    connect(imgArrow_, &LinkLabel::clicked, this, &FrmMain::imgArrow_Click);
    connect(imgDownArrow_, &LinkLabel::clicked, this, &FrmMain::imgDownArrow_Click);
    connect(imgFullScreen_, &LinkLabel::clicked, this, &FrmMain::imgFullScreen_Click);
    // A user choosing a channel is about to start one: the engine's library loads meanwhile.
    const auto prepare = [this] { wbMain_->player().prepare(); };
    for (QPushButton* button : {imgTV_, imgRadio_, imgFavorits_})
        connect(button, &QPushButton::pressed, this, prepare);
    connect(cmbCountry_, &QComboBox::activated, this, prepare);
    connect(trView_, &QTreeWidget::itemPressed, this, prepare);
}

void FrmMain::imgArrow_Click() {
    const int panel = wbArea_->height() * platform::kTwipsPerPixel;
    window_->setHeightTwips(window_->heightTwips() - panel - 10);
    imgDownArrow_->move(imgArrow_->x(), imgDownArrow_->y());
    wbArea_->hide();
    imgFullScreen_->hide();
    imgArrow_->hide();
    imgDownArrow_->show();
}

void FrmMain::imgDownArrow_Click() {
    imgFullScreen_->show();
    imgArrow_->show();
    imgDownArrow_->hide();
    wbArea_->show();
    window_->setHeightTwips(logic_->state().intFormHeight);
}

void FrmMain::imgFullScreen_Click() {
    if (!frmBrowser_) {
        frmBrowser_ = std::make_unique<FrmBrowser>(options_.site, options_.noAnswerTimeoutMs, this);
    }
    frmBrowser_->showWindow();
}

}  // namespace qova::ui
