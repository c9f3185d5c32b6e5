// The main window's programme guide: now and next over the picture, in the tree's tool tips and
// for the desktop's applets; the "Programme guide" and "Guides" windows in the Channels menu.
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QHelpEvent>
#include <QMenu>
#include <QPointer>
#include <QTextDocument>
#include <QToolTip>

#include <unordered_set>

#include "directory/channel_record.h"
#include "directory/directory_lines.h"
#include "guide/guide_text.h"
#include "guide/playlist_hints.h"
#include "platform/posix_text_files.h"
#include "platform/qt_strings.h"
#include "player/player_overlay_widget.h"
#include "player/player_view.h"
#include "qt/qt_tree_view.h"
#include "ui/frm_channel_lists.h"
#include "ui/frm_guide.h"
#include "ui/frm_guides.h"
#include "ui/frm_main.h"
#include "ui/guide_lines.h"
#include "ui/guide_service.h"

namespace qova::ui {
namespace {

/// A channel's tool tip in the tree with the guide's now and next after whatever else it says
/// (why it does not answer). Nodes the guide does not know keep their tool tip as it was.
class TreeGuideTips : public QObject {
  public:
    TreeGuideTips(QTreeWidget* tree, const GuideService& guide,
                  std::function<std::string(int node)> channelOf)
        : QObject(tree), tree_(tree), guide_(guide), channelOf_(std::move(channelOf)) {
        tree->viewport()->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::ToolTip || guide_.store() == nullptr)
            return false;
        const auto* help = static_cast<QHelpEvent*>(event);
        QTreeWidgetItem* item = tree_->itemAt(help->pos());
        if (item == nullptr)
            return false;
        const std::string text = guide::NowNextText(
            guide_.nowNext(channelOf_(tree_->indexOfTopLevelItem(item) + 1)), guide_.clock());
        if (text.empty())
            return false;
        const QString before = item->data(0, Qt::AccessibleDescriptionRole).toString();
        QToolTip::showText(
            help->globalPos(),
            Qt::convertFromPlainText(
                (before.isEmpty() ? QString() : before + u'\n') + platform::toQString(text),
                Qt::WhiteSpaceNormal),
            tree_->viewport());
        return true;
    }

  private:
    QTreeWidget* tree_;
    const GuideService& guide_;
    std::function<std::string(int node)> channelOf_;
};

// The channel's name as its directory line gives it, whatever the node shows (a search's
// results add the country); "" for a node without a channel.
std::string channelOfNode(const state::ChannelList& channels, int node) {
    const std::string* record = channels.record(node);
    std::string_view name;
    if (record == nullptr || !platform::fieldAt(*record, directory::kChannelName, name))
        return {};
    return std::string(name);
}

}  // namespace

void FrmMain::buildGuide() {
    guide_ = std::make_unique<GuideService>(
        nullptr, *files_,
        [this] {
            GuideChannels channels;
            if (const auto stored = files_->read(state::kChannelFile))
                channels.directoryLines = std::string(stored->view());
            channels.directoryAddress = logic_->state().strDirectoryAddress;
            const std::string& added = logic_->state().strAddedChannels;
            for (const auto& list : logic_->addedLists().lists()) {
                const std::size_t begin = std::min(list.begin, added.size());
                channels.addedLists.emplace_back(
                    list.address, added.substr(begin, std::min(list.end, added.size()) - begin));
            }
            return channels;
        },
        options_.noAnswerTimeoutMs);
    guideOverlay_ = std::make_unique<GuideOverlay>(nullptr, wbMain_->overlay(), *guide_);
    guideDesktop_ = std::make_unique<GuideDesktop>(nullptr, *options_.desktop, *guide_);
}

void FrmMain::wireGuide() {
    // Read on the list fetcher's worker, heard here; a page with nothing for a guide costs a
    // glance at its text.
    const QPointer<GuideService> guide(guide_.get());
    logic_->addedLists().onPageRead = [guide](const std::string& address, std::string_view page) {
        if (!guide::MayHoldGuideHints(page))
            return;
        QMetaObject::invokeMethod(
            qApp,
            [guide, address, hints = guide::ReadPlaylistHints(page)] {
                if (guide)
                    guide->listRead(address, hints);
            },
            Qt::QueuedConnection);
    };
    auto channelsChanged = std::move(logic_->addedLists().onChannelsChanged);
    logic_->addedLists().onChannelsChanged = [this, channelsChanged] {
        if (channelsChanged)
            channelsChanged();
        guide_->channelsChanged();
    };
    new TreeGuideTips(trView_, *guide_,
                      [this](int node) { return channelOfNode(logic_->channels(), node); });
    // The search also finds the TV channels whose programmes of the next day match.
    logic_->alsoFound = [this](const std::string& query) {
        std::vector<std::string> records;
        const std::vector<std::string> names = guide_->channelsShowing(query);
        if (names.empty())
            return records;
        std::unordered_set<std::string_view> wanted(names.begin(), names.end());
        directory::DirectoryLines lines(files_->read(state::kChannelFile),
                                        logic_->state().strAddedChannels);
        std::string_view line, category, name;
        while (!wanted.empty() && lines.next(line)) {
            if (platform::fieldAt(line, directory::kCategory, category) &&
                platform::equalsIgnoringAsciiCase(category, directory::kCategoryVideo) &&
                platform::fieldAt(line, directory::kChannelName, name) && wanted.erase(name) > 0)
                records.emplace_back(line);
        }
        return records;
    };
    connect(guide_.get(), &GuideService::changed, this, [this] {
        guideOverlay_->update();
        guideDesktop_->update();
        if (frmChannelLists_)
            frmChannelLists_->showLists();
    });

    mnuChannels_->addSeparator();
    QAction* programmes = mnuChannels_->addAction(QStringLiteral("Programme &guide..."));
    programmes->setObjectName(QStringLiteral("mnuProgrammeGuide"));
    programmes->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    addAction(programmes);
    connect(programmes, &QAction::triggered, this, &FrmMain::openGuide);
    QAction* guides = mnuChannels_->addAction(QStringLiteral("G&uides..."));
    guides->setObjectName(QStringLiteral("mnuGuides"));
    guides->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G));
    addAction(guides);
    connect(guides, &QAction::triggered, this, &FrmMain::openGuides);
}

void FrmMain::openGuide() {
    if (!frmGuide_) {
        frmGuide_ = std::make_unique<FrmGuide>(
            this, *guide_,
            [this] {
                std::vector<std::string> channels;
                for (int node = 1; node <= tree_->nodeCount(); ++node)
                    channels.push_back(channelOfNode(logic_->channels(), node));
                return channels;
            },
            [this](int row) {
                if (row + 1 > tree_->nodeCount())
                    return;
                tree_->selectNode(row + 1);
                logic_->trView_Click();
            });
    }
    frmGuide_->showWindow();
}

void FrmMain::openGuides() {
    if (!frmGuides_) {
        frmGuides_ = std::make_unique<FrmGuides>(this, *guide_, [this] {
            return QFileDialog::getOpenFileName(
                this, QStringLiteral("Add Guide"), QString(),
                QStringLiteral("Guides (*.xml *.gz *.xz);;All files (*)"));
        });
    }
    frmGuides_->showWindow();
}

}  // namespace qova::ui
