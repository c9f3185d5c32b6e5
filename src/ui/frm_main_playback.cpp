// The main window's Playback menu and what goes with it: keys, the player area's mouse, the
// picture filling the screen, the desktop's media keys and the window's visibility.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFrame>
#include <QKeySequence>
#include <QMenu>
#include <QScreen>

#include "player/player_view.h"
#include "ui/frm_main.h"

namespace qova::ui {
namespace {

QKeySequence keypad(Qt::Key key) {
    return QKeySequence(QKeyCombination(Qt::KeypadModifier, key));
}

}  // namespace

void FrmMain::buildPlaybackMenu() {
    playback::Listening& listening = logic_->listening();
    // Each command in the menu, with its keys; those that would take keys other controls need
    // (Space presses a button, Page Down scrolls the tree, a letter or sign is typing in a list)
    // act only where the picture has focus.
    const auto add = [this](const char* name, const char* text, QList<QKeySequence> keys,
                            Qt::ShortcutContext context, const QString& tip, auto handler) {
        QAction* action = mnuPlayback_->addAction(QString::fromUtf8(text));
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcuts(keys);
        action->setShortcutContext(context);
        action->setToolTip(tip);
        // Also from the picture when it fills the screen, a window of its own then.
        wbMain_->addAction(action);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    const auto inPicture = [this](const char* name, QKeySequence key, auto handler) {
        auto* action = new QAction(wbMain_);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut);
        wbMain_->addAction(action);
        connect(action, &QAction::triggered, this, handler);
    };
    mnuPlayback_->setToolTipsVisible(true);
    add("mnuPlayStop", "S&top or Play Again", {Qt::Key_Space}, Qt::WidgetShortcut,
        tr("Space, in the picture"), [&listening] { listening.playOrStop(); });
    add("mnuNext", "&Next Channel", {QKeySequence(Qt::CTRL | Qt::Key_Down)}, Qt::WindowShortcut,
        tr("Ctrl+Down, or Page Down in the picture"), [&listening] { listening.next(); });
    add("mnuPrevious", "&Previous Channel", {QKeySequence(Qt::CTRL | Qt::Key_Up)},
        Qt::WindowShortcut, tr("Ctrl+Up, or Page Up in the picture"),
        [&listening] { listening.previous(); });
    mnuPlayback_->addSeparator();
    add("mnuVolumeUp", "Volume &Up", {Qt::Key_Plus, keypad(Qt::Key_Plus), Qt::Key_Equal},
        Qt::WidgetShortcut, tr("+, in the picture, or the mouse wheel over the picture"),
        [&listening] { listening.changeVolume(1); });
    add("mnuVolumeDown", "Volume &Down", {Qt::Key_Minus, keypad(Qt::Key_Minus)}, Qt::WidgetShortcut,
        tr("-, in the picture, or the mouse wheel over the picture"),
        [&listening] { listening.changeVolume(-1); });
    add("mnuMute", "&Mute", {Qt::Key_M}, Qt::WidgetShortcut, tr("M, in the picture"),
        [&listening] { listening.toggleMute(); });
    mnuPlayback_->addSeparator();
    add("mnuFullScreen", "&Full Screen", {Qt::Key_F11}, Qt::WindowShortcut,
        tr("F11, or a double-click on the picture; Esc comes back"),
        [this] { toggleFullScreen(); });
    add("mnuCopyTitle", "&Copy Title", {QKeySequence::Copy}, Qt::WindowShortcut,
        tr("The title of what plays, to paste elsewhere"), [this] { copyTitle(); });
    buildRecordingCommands();

    inPicture("keyNext", Qt::Key_PageDown, [&listening] { listening.next(); });
    inPicture("keyPrevious", Qt::Key_PageUp, [&listening] { listening.previous(); });
    inPicture("keyLeaveFullScreen", Qt::Key_Escape, [this] {
        if (playerFullScreen_)
            toggleFullScreen();
    });

    connect(wbMain_, &player::PlayerView::wheelTurned, this,
            [&listening](int steps) { listening.changeVolume(steps); });
    connect(wbMain_, &player::PlayerView::doubleClicked, this, &FrmMain::toggleFullScreen);
    connect(wbMain_, &player::PlayerView::closeRequested, this, [this] {
        if (playerFullScreen_)
            toggleFullScreen();
    });
    options_.desktop->onRaise = [this] {
        showNormal();
        raise();
        activateWindow();
    };
    options_.desktop->onQuit = [this] { close(); };
}

QAction* FrmMain::addPlaybackChoice(const QString& text, const char* name, const QKeySequence& keys,
                                    const QString& toolTip, const char* key,
                                    const std::function<void(bool)>& apply) {
    const bool on = settings_->intValue(key, 0) != 0;
    apply(on);
    QAction* action = mnuPlayback_->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(true);
    action->setChecked(on);
    action->setShortcut(keys);
    action->setToolTip(toolTip);
    wbMain_->addAction(action);
    connect(action, &QAction::toggled, this, [this, key, apply](bool checked) {
        apply(checked);
        settings_->setIntValue(key, checked ? 1 : 0);
    });
    return action;
}

void FrmMain::toggleFullScreen() {
    playerFullScreen_ = !playerFullScreen_;
    if (playerFullScreen_) {
        playerPlace_ = wbMain_->geometry();
        // The picture alone, as a window of its own over the whole screen.
        wbMain_->setParent(nullptr, Qt::Window);
        wbMain_->setWindowTitle(windowTitle());
        wbMain_->setWindowIcon(windowIcon());
        // The screen the window is on; also where no window manager makes full screen so.
        wbMain_->setGeometry(screen()->geometry());
        wbMain_->showFullScreen();
        wbMain_->activateWindow();
        wbMain_->setFocus();
        wbMain_->setHidesIdlePointer(true);
        return;
    }
    wbMain_->setHidesIdlePointer(false);
    wbMain_->setParent(frmUpper_, Qt::Widget);
    wbMain_->setGeometry(playerPlace_);
    wbMain_->show();
    setTabOrder();
    activateWindow();
    wbMain_->setFocus();
}

void FrmMain::copyTitle() {
    const std::string title = logic_->listening().currentTitle();
    if (!title.empty())
        QApplication::clipboard()->setText(
            QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
}

void FrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    logic_->listening().windowShown(true);
}

void FrmMain::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    logic_->listening().windowShown(false);
}

void FrmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        logic_->listening().windowShown(isVisible() && !isMinimized());
}

}  // namespace qova::ui
