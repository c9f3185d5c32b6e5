// The main window's Channels menu: the channel lists added beside the directory, finding a
// channel in all of them, and the favourites out to a playlist and back in.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QTimer>
#include <filesystem>
#include <string>

#include "favorites/favorites.h"
#include "qt/qt_tree_view.h"
#include "ui/background_work.h"
#include "ui/discover_services.h"
#include "ui/frm_channel_lists.h"
#include "ui/frm_discover.h"
#include "ui/frm_main.h"
#include "ui/guide_service.h"
#include "web/page_loading.h"

namespace qova::ui {
namespace {

/// While the search shows, Esc anywhere in the main window (the field, the tree of results, the
/// player area, a button) gives the view back. It is caught before any control or shortcut of
/// the window sees it; other windows keep their Esc, among them the picture filling the screen
/// and an open menu.
class SearchEscape : public QObject {
  public:
    explicit SearchEscape(QWidget* window) : QObject(window), window_(window) {}
    std::function<void()> onEscape;

    void watch(bool on) {
        if (on)
            qApp->installEventFilter(this);
        else
            qApp->removeEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier ||
            widget == nullptr || widget->window() != window_ ||
            qobject_cast<const QMenuBar*>(widget) != nullptr)
            return false;
        // Claimed ahead of the shortcuts, then acted on when the key itself comes.
        event->accept();
        if (event->type() == QEvent::KeyPress)
            onEscape();
        return true;
    }

  private:
    QWidget* window_;
};

/// A list chosen for "Import favourites", read and converted on a worker thread.
struct ImportRead {
    bool readable = false;
    std::string channels;
};

// A plain file only, and no more of it than a list may hold: a pipe or a device would hold the
// worker for ever or fill the memory.
ImportRead readForImport(const QString& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(QFile::encodeName(path).toStdString(), error))
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.read(web::kMaxDownloadBytes + 1);
    if (bytes.size() > web::kMaxDownloadBytes || file.error() != QFileDevice::NoError)
        return {};
    return {true, favorites::ChannelsToImport(
                      std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))};
}

}  // namespace

void FrmMain::buildChannelsMenu() {
    auto* field = new QLineEdit(frmUpper_);
    field->setObjectName(QStringLiteral("txtSearch"));
    field->setAccessibleName(QStringLiteral("Find channel"));
    field->setPlaceholderText(QStringLiteral("Find a channel: name, country, language"));
    field->setClearButtonEnabled(true);
    field->setGeometry(cmbCountry_->geometry());
    field->hide();
    searchField_ = field;
    auto* escape = new SearchEscape(this);
    escape->onEscape = [this, field, escape] {
        escape->watch(false);
        field->hide();
        {
            // Its emptied text would end the search once more.
            const QSignalBlocker quiet(field);
            field->clear();
        }
        logic_->endSearch();
        trView_->setFocus();
    };
    connect(field, &QLineEdit::textChanged, this, [this](const QString& text) {
        const QByteArray query = text.toUtf8();
        logic_->search(std::string(query.constData(), static_cast<std::size_t>(query.size())));
    });
    // Enter plays the found channel selected, or the first, as a click in the tree would.
    connect(field, &QLineEdit::returnPressed, this, [this] {
        if (tree_->nodeCount() == 0)
            return;
        if (tree_->selectedIndex() == 0)
            tree_->selectNode(1);
        logic_->trView_Click();
    });

    // Where a new user finds real channels: first, ahead of the lists one adds by address.
    QAction* discover = mnuChannels_->addAction(QStringLiteral("&Discover channels..."));
    discover->setObjectName(QStringLiteral("mnuDiscover"));
    discover->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    addAction(discover);
    connect(discover, &QAction::triggered, this, &FrmMain::openDiscover);
    // Both windows show how the lists fare.
    logic_->addedLists().onStateChanged = [this] {
        if (frmChannelLists_)
            frmChannelLists_->showLists();
        discover_->discovery().listsChanged();
    };

    QAction* addList = mnuChannels_->addAction(QStringLiteral("&Add channel list..."));
    addList->setObjectName(QStringLiteral("mnuAddList"));
    addList->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    addAction(addList);
    connect(addList, &QAction::triggered, this, [this] { openChannelLists(true); });
    QAction* lists = mnuChannels_->addAction(QStringLiteral("Channel &lists..."));
    lists->setObjectName(QStringLiteral("mnuChannelLists"));
    lists->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    addAction(lists);
    connect(lists, &QAction::triggered, this, [this] { openChannelLists(false); });
    mnuChannels_->addSeparator();

    QAction* find = mnuChannels_->addAction(QStringLiteral("&Find channel..."));
    find->setObjectName(QStringLiteral("mnuFind"));
    find->setShortcut(QKeySequence::Find);
    addAction(find);
    // The directory is folded for the search on a worker thread, from when the field opens; a
    // keystroke before that is done is answered when it is.
    logic_->runSearchFoldsWith([this](std::function<directory::ChannelSearch::Index()> fold,
                                      std::function<void(directory::ChannelSearch::Index)> done) {
        runInBackground(this, std::move(fold), std::move(done));
    });
    connect(find, &QAction::triggered, this, [this, field, escape] {
        logic_->searchOpened();
        escape->watch(true);
        field->show();
        field->raise();
        field->setFocus();
        field->selectAll();
    });
    buildCheckBar();
    QAction* check = mnuChannels_->addAction(QStringLiteral("&Check channels"));
    check->setObjectName(QStringLiteral("mnuCheckChannels"));
    check->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    addAction(check);
    connect(check, &QAction::triggered, this, [this] { logic_->health().checkShown(); });

    chooseFile = [this](FileUse use, const QString& suggested) {
        switch (use) {
            case FileUse::ExportFavourites:
                return QFileDialog::getSaveFileName(this, QStringLiteral("Export Favourites"),
                                                    suggested,
                                                    QStringLiteral("Playlists (*.m3u8 *.m3u)"));
            case FileUse::ImportFavourites:
            case FileUse::AddList:
                break;
        }
        return QFileDialog::getOpenFileName(
            this,
            use == FileUse::AddList ? QStringLiteral("Add Channel List")
                                    : QStringLiteral("Import Favourites"),
            suggested,
            QStringLiteral(
                "Playlists and channel lists (*.m3u8 *.m3u *.json *.txt);;All files (*)"));
    };
    tell = [this](const QString& text, bool failed) {
        if (failed)
            QMessageBox::warning(this, QStringLiteral("QOVA"), text);
        else
            QMessageBox::information(this, QStringLiteral("QOVA"), text);
    };

    mnuChannels_->addSeparator();
    QAction* exportFavourites = mnuChannels_->addAction(QStringLiteral("&Export favourites..."));
    exportFavourites->setObjectName(QStringLiteral("mnuExportFavourites"));
    exportFavourites->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    connect(exportFavourites, &QAction::triggered, this, [this] {
        const QString path =
            chooseFile(FileUse::ExportFavourites, QDir::home().filePath("favourites.m3u8"));
        if (path.isEmpty())
            return;
        // Whole or not at all: a file that was there stays until the new one is complete.
        QSaveFile file(path);
        const std::string playlist = logic_->exportFavorites();
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(playlist.data(), static_cast<qint64>(playlist.size())) !=
                static_cast<qint64>(playlist.size()) ||
            !file.commit()) {
            tell(QStringLiteral("The favourites cannot be written to %1.").arg(path), true);
        }
    });
    QAction* importFavourites = mnuChannels_->addAction(QStringLiteral("&Import favourites..."));
    importFavourites->setObjectName(QStringLiteral("mnuImportFavourites"));
    importFavourites->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I));
    connect(importFavourites, &QAction::triggered, this, [this, importFavourites] {
        const QString path = chooseFile(FileUse::ImportFavourites, QDir::homePath());
        if (path.isEmpty())
            return;
        // Read and converted away from the Qt thread, the window answering meanwhile, then added
        // here. One import at a time: the command is greyed until the one under way is done.
        importFavourites->setEnabled(false);
        runInBackground(
            this, [path] { return readForImport(path); },
            [this, importFavourites, path](const ImportRead& read) {
                importFavourites->setEnabled(true);
                if (!read.readable) {
                    tell(QStringLiteral("%1 cannot be read as a channel list.").arg(path), true);
                    return;
                }
                const int added = logic_->addFavorites(read.channels);
                tell(added == 1 ? QStringLiteral("1 channel added to the favourites.")
                                : QStringLiteral("%1 channels added to the favourites.").arg(added),
                     false);
            });
    });
}

void FrmMain::openChannelLists(bool toAdd) {
    if (!frmChannelLists_) {
        frmChannelLists_ = std::make_unique<FrmChannelLists>(
            this, logic_->addedLists(),
            [this] { return chooseFile(FileUse::AddList, QDir::homePath()); },
            [this](std::size_t begin, std::size_t end) {
                const std::string_view added = logic_->state().strAddedChannels;
                return logic_->health().markedIn(
                    added.substr(std::min(begin, added.size()), end > begin ? end - begin : 0));
            });
        frmChannelLists_->guideCoverage = [this](const std::string& address) {
            return guide().coverageText(address);
        };
        frmChannelLists_->showLists();
    }
    if (toAdd) {
        frmChannelLists_->showToAdd();
    } else {
        frmChannelLists_->show();
        frmChannelLists_->raise();
        frmChannelLists_->activateWindow();
    }
}

void FrmMain::openDiscover() {
    if (!frmDiscover_) {
        frmDiscover_ = std::make_unique<FrmDiscover>(
            this, discover_->discovery(),
            [this](const std::vector<std::string>& records, std::size_t index) {
                logic_->playFound(records, index);
            },
            [this](const std::string& record) { return logic_->addFavorites(record + "\r\n"); });
    }
    frmDiscover_->showWindow();
}

void FrmMain::buildCheckBar() {
    // Over the foot of the tree, only while a check runs and a little after: the window keeps
    // its size and its controls their places.
    auto* bar = new QFrame(frmUpper_);
    bar->setObjectName(QStringLiteral("frmCheck"));
    bar->setAutoFillBackground(true);
    bar->setStyleSheet(
        QStringLiteral("QFrame#frmCheck { background: #333333; }"
                       "QLabel { color: white; }"));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(4, 2, 4, 2);
    auto* text = new QLabel(bar);
    text->setObjectName(QStringLiteral("lblCheck"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), bar);
    cancel->setObjectName(QStringLiteral("cmdCancelCheck"));
    layout->addWidget(text, 1);
    layout->addWidget(cancel);
    const QRect tree = trView_->geometry();
    const int height = bar->sizeHint().height();
    bar->setGeometry(tree.left(), tree.bottom() + 1 - height, tree.width(), height);
    bar->hide();
    auto* hideLater = new QTimer(bar);
    hideLater->setSingleShot(true);
    hideLater->setInterval(6000);
    connect(hideLater, &QTimer::timeout, bar, &QWidget::hide);
    connect(cancel, &QPushButton::clicked, this, [this] { logic_->health().cancel(); });
    logic_->health().onProgress = [this, bar, text, cancel, hideLater] {
        const playback::ChannelHealth& health = logic_->health();
        text->setText(QString::fromStdString(health.progressText()));
        cancel->setVisible(health.running());
        bar->show();
        bar->raise();
        if (health.running()) {
            hideLater->stop();
        } else {
            hideLater->start();
            // The lists window counts the channels of each list that did not answer.
            if (frmChannelLists_)
                frmChannelLists_->showLists();
        }
    };
}

}  // namespace qova::ui
