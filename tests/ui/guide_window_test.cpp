// The programme guide end to end: a playlist whose header names a guide on a loopback server;
// the player area, the tree's tool tip, the lists window and the Programme guide window all say
// what runs now and next, and a start with a store six hours old shows it at once.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QDateTime>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <QToolTip>

#include "fakes/fake_controls.h"
#include "guide/guide_build.h"
#include "guide/guide_fixture.h"
#include "guide/guide_sources.h"
#include "player/player_overlay_widget.h"
#include "player/player_view.h"
#include "support/main_window.h"
#include "support/message_box_watcher.h"
#include "testkit/loopback_http_server.h"
#include "testkit/test_media.h"
#include "ui/frm_channel_lists.h"
#include "ui/frm_guide.h"
#include "ui/guide_grid.h"
#include "ui/guide_service.h"

namespace qova::ui {
namespace {

using guide::test::gzipped;

// The guide is read and stored on a worker after the lists settle: a few seconds at most.
constexpr int kGuideWaitMs = 30000;

std::string guideTime(qint64 at) {
    return QDateTime::fromSecsSinceEpoch(at, Qt::UTC)
        .toString(QStringLiteral("yyyyMMddhhmmss +0000"))
        .toStdString();
}

/// A guide for one.fr: `now` ran from half an hour ago, `next` follows it.
std::string guideOf(qint64 now, const std::string& current, const std::string& next) {
    const auto programme = [](qint64 start, qint64 stop, const std::string& title) {
        return "<programme start=\"" + guideTime(start) + "\" stop=\"" + guideTime(stop) +
               "\" channel=\"one.fr\"><title>" + title + "</title><desc>About " + title +
               "</desc></programme>";
    };
    return "<?xml version=\"1.0\"?><tv><channel id=\"one.fr\"><display-name>Un</display-name>"
           "</channel>" +
           programme(now - 1800, now + 1800, current) + programme(now + 1800, now + 5400, next) +
           "</tv>";
}

class GuideWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(testkit::TestMedia::get().error(), "");
        server.serve("/one.mp4", testkit::TestMedia::get().clipBytes(), "video/mp4");
        server.serve("/channels.txt", "France|Video|Directory TV|http://127.0.0.1:1/d.mp4|FR\n");
        server.serve("/list.m3u",
                     "#EXTM3U x-tvg-url=\"" + server.url("/guide.xml.gz") + "\"\n" +
                         "#EXTINF:-1 tvg-id=\"one.fr\" tvg-country=\"FR\",Channel One\n" +
                         server.url("/one.mp4") + "\n" +
                         "#EXTINF:-1 tvg-id=\"nobody\" tvg-country=\"FR\",Unknown Two\n" +
                         "http://127.0.0.1:1/two.mp4\n");
        folder.write("Config.txt", "URLTXT=" + server.url("/channels.txt") + "\r\n");
        folder.write("ChannelLists.txt", server.url("/list.m3u") + "\r\n");
    }

    std::string nowTitle(FrmMain& window) {
        const auto nowNext = window.guide().nowNext("Channel One");
        return nowNext.now ? std::string(nowNext.now->title) : "";
    }

    std::string toolTipOf(FrmMain& window, const std::string& name) {
        const auto names = testing::nodeNames(window);
        const auto at = std::find(names.begin(), names.end(), name);
        if (at == names.end())
            return "<no node>";
        const QRect rect = testing::nodeRect(window, static_cast<int>(at - names.begin()));
        QWidget* viewport = window.channelTree()->viewport();
        QHelpEvent help(QEvent::ToolTip, rect.center(), viewport->mapToGlobal(rect.center()));
        QToolTip::hideText();
        QApplication::sendEvent(viewport, &help);
        return QToolTip::isVisible() ? QToolTip::text().toStdString() : "";
    }

    testkit::LoopbackHttpServer server;
    testkit::TempFolder folder;
    testing::MessageBoxWatcher messages;
};

TEST_F(GuideWindowTest, APlaylistsGuideShowsNowAndNextEverywhere) {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    server.serve("/guide.xml.gz", gzipped(guideOf(now, "Evening News", "Late Film")),
                 "application/gzip");
    FrmMainOptions options = testing::windowOptions(folder);
    // What the desktop's applets are told.
    auto desktop = std::make_unique<fakes::FakeDesktopPlayer>();
    fakes::FakeDesktopPlayer& applets = *desktop;
    options.desktop = std::move(desktop);
    auto window = testing::startWindow(std::move(options));
    ASSERT_TRUE(QTest::qWaitFor([&] { return nowTitle(*window) == "Evening News"; }, kGuideWaitMs));
    ASSERT_TRUE(testing::chooseCountry(*window, QStringLiteral("France")));

    // The tree: now and next in the guide's channel's tool tip, none in the others'.
    EXPECT_EQ(toolTipOf(*window, "Unknown Two"), "");
    const std::string tip = toolTipOf(*window, "Channel One");
    EXPECT_NE(tip.find("Now "), std::string::npos) << tip;
    EXPECT_NE(tip.find("Evening News"), std::string::npos) << tip;
    EXPECT_NE(tip.find("Next "), std::string::npos) << tip;
    EXPECT_NE(tip.find("Late Film"), std::string::npos) << tip;

    // The search finds a channel by what it shows, and by its name as ever.
    window->findChild<QAction*>(QStringLiteral("mnuFind"))->trigger();
    auto* search = window->findChild<QLineEdit*>(QStringLiteral("txtSearch"));
    search->setText(QStringLiteral("evening NEWS"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return testing::nodeNames(*window) ==
                   std::vector<std::string>{"Channel One \u2014 France"};
        },
        testing::kWindowWaitMs));
    search->setText(QStringLiteral("two"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return testing::nodeNames(*window) ==
                   std::vector<std::string>{"Unknown Two \u2014 France"};
        },
        testing::kWindowWaitMs));
    QTest::keyClick(search, Qt::Key_Escape);
    ASSERT_TRUE(testing::chooseCountry(*window, QStringLiteral("France")));

    // The lists window counts the channels the guide knows.
    window->findChild<QAction*>(QStringLiteral("mnuChannelLists"))->trigger();
    QTableWidget* lists = window->channelListsWindow()->table();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return lists->rowCount() == 1 && lists->item(0, 3) != nullptr &&
                   lists->item(0, 3)->text().contains(
                       QStringLiteral("guide: 1 of 2 channels, updated just now"));
        },
        testing::kWindowWaitMs))
        << (lists->item(0, 3) ? lists->item(0, 3)->text().toStdString() : "");
    window->channelListsWindow()->close();

    // The guide window: the tree's channels as rows, now current, its cell named for screen
    // readers with title and times; a click describes it, Enter plays it.
    window->findChild<QAction*>(QStringLiteral("mnuProgrammeGuide"))->trigger();
    FrmGuide* guide = window->guideWindow();
    ASSERT_TRUE(guide != nullptr && guide->isVisible());
    EXPECT_EQ(guide->windowTitle(), "Programme guide");
    const auto names = testing::nodeNames(*window);
    const int row =
        static_cast<int>(std::find(names.begin(), names.end(), "Channel One") - names.begin());
    guide->grid()->select(row, now);
    ASSERT_TRUE(guide->grid()->currentProgramme());
    EXPECT_EQ(guide->grid()->currentProgramme()->title, "Evening News");
    EXPECT_TRUE(guide->description()->text().contains(QStringLiteral("About Evening News")));
    // As a screen reader meets it: the grid's children, the current one focused.
    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(guide->grid());
    ASSERT_TRUE(grid != nullptr);
    EXPECT_EQ(grid->role(), QAccessible::Table);
    QAccessibleInterface* focused = grid->focusChild();
    ASSERT_TRUE(focused != nullptr);
    const QString name = focused->text(QAccessible::Name);
    EXPECT_TRUE(name.startsWith(QStringLiteral("Channel One: ")) &&
                name.endsWith(QStringLiteral(" Evening News")))
        << name.toStdString();
    EXPECT_EQ(focused->role(), QAccessible::Cell);
    EXPECT_EQ(grid->indexOfChild(focused) >= 0, true);
    QTest::keyClick(guide->grid(), Qt::Key_Right);
    EXPECT_EQ(guide->grid()->currentProgramme()->title, "Late Film");
    QTest::keyClick(guide->grid(), Qt::Key_Return);

    // Over the picture, and for the screen reader, with what plays.
    player::PlayerOverlayWidget& overlay = window->playerArea().overlay();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return overlay.whatPlays().contains(QStringLiteral("Now ")); }, kGuideWaitMs));
    const QString lines = overlay.whatPlays();
    EXPECT_TRUE(lines.startsWith(QStringLiteral("Channel One"))) << lines.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("Evening News"))) << lines.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("Next "))) << lines.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("min left"))) << lines.toStdString();
    // The applets: the programme as the title, the channel as the artist.
    EXPECT_EQ(applets.title, "Evening News");
    EXPECT_EQ(applets.channel, "Channel One");
    EXPECT_TRUE(messages.seen().empty());
}

TEST_F(GuideWindowTest, TheDirectoryItselfMayNameTheGuide) {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    server.serve("/guide.xml.gz", gzipped(guideOf(now, "Evening News", "Late Film")));
    folder.write("Config.txt", "URLTXT=" + server.url("/list.m3u") + "\r\n");
    folder.write("ChannelLists.txt", "");
    auto window = testing::startWindow(testing::windowOptions(folder));
    EXPECT_TRUE(QTest::qWaitFor([&] { return nowTitle(*window) == "Evening News"; }, kGuideWaitMs));
    EXPECT_NE(folder.read(guide::kGuideHintsFile).value_or("").find(server.url("/guide.xml.gz")),
              std::string::npos);
}

TEST_F(GuideWindowTest, AGuideIsAskedForAtMostEverySixHoursAndOnlyWhenNewer) {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const std::string address = server.url("/guide.xml.gz");
    const std::string cache = guide::GuideCacheName(address);
    const auto keptCopy = [&](qint64 fetched) {
        folder.write(cache, gzipped(guideOf(now, "Cached News", "Cached Film")));
        folder.write(cache + ".txt",
                     "etag=\"7\"\r\nlast-modified=\r\nfetched=" + std::to_string(fetched) + "\r\n");
    };
    // Fetched an hour ago: read from the copy, the server not asked.
    keptCopy(now - 3600);
    server.serve("/guide.xml.gz", gzipped(guideOf(now, "Evening News", "Late Film")));
    {
        auto window = testing::startWindow(testing::windowOptions(folder));
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return nowTitle(*window) == "Cached News"; }, kGuideWaitMs));
        EXPECT_EQ(server.requestCount("/guide.xml.gz"), 0);
    }
    // Seven hours ago, and the server says it has nothing newer: the copy stays, and counts as
    // fetched now.
    folder.write(guide::kGuideStoreFile, "");
    keptCopy(now - 7 * 3600);
    server.serve("/guide.xml.gz", "", "application/gzip", 304);
    auto window = testing::startWindow(testing::windowOptions(folder));
    EXPECT_TRUE(QTest::qWaitFor([&] { return nowTitle(*window) == "Cached News"; }, kGuideWaitMs));
    // The copy is shown before the server is asked; once its answer is in, the copy counts as
    // fetched now.
    const auto fetchedNow = [&] {
        const std::string kept = folder.read(cache + ".txt").value_or("");
        return kept.find("fetched=") != std::string::npos &&
               kept.find("fetched=" + std::to_string(now - 7 * 3600)) == std::string::npos;
    };
    EXPECT_TRUE(QTest::qWaitFor(fetchedNow, kGuideWaitMs));
    EXPECT_EQ(server.requestCount("/guide.xml.gz"), 1);
    EXPECT_NE(server.lastRequestHead("/guide.xml.gz").find("If-None-Match: \"7\""),
              std::string::npos);
    EXPECT_EQ(folder.read(cache), gzipped(guideOf(now, "Cached News", "Cached Film")));
}

TEST_F(GuideWindowTest, AStoreSixHoursOldIsShownAtOnceAndRefreshedBehind) {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    // What the last run stored, six hours ago, from the guide it fetched then.
    folder.write("old-guide.xml", guideOf(now, "Old News", "Old Film"));
    guide::BuildRequest request;
    request.guideFiles = {folder.file("old-guide.xml")};
    request.channels = {{"Channel One", "one.fr", "", 0}};
    request.lists = {{server.url("/list.m3u"), {0}}};
    request.now = now - 6 * 3600 - 60;
    request.storePath = folder.file(guide::kGuideStoreFile);
    // Built with the moment the store says; its programmes still cover now.
    ASSERT_TRUE(guide::BuildGuideStore(request).written);
    const std::string cache = guide::GuideCacheName(server.url("/guide.xml.gz"));
    folder.write(cache, gzipped(guideOf(now, "Old News", "Old Film")));
    folder.write(cache + ".txt", "etag=\"1\"\r\nlast-modified=\r\nfetched=" +
                                     std::to_string(now - 6 * 3600 - 60) + "\r\n");
    folder.write(guide::kGuideHintsFile, "list\t" + server.url("/list.m3u") + "\t" +
                                             server.url("/guide.xml.gz") +
                                             "\r\nchannel\tChannel One\tone.fr\t\t0\r\n");
    server.serve("/guide.xml.gz", gzipped(guideOf(now, "Evening News", "Late Film")),
                 "application/gzip");

    FrmMain window(testing::windowOptions(folder));
    window.load();
    // Before the event loop has run once: what the store holds is there.
    EXPECT_EQ(nowTitle(window), "Old News");
    window.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return nowTitle(window) == "Evening News"; }, kGuideWaitMs));
    EXPECT_EQ(server.requestCount("/guide.xml.gz"), 1);
    EXPECT_NE(server.lastRequestHead("/guide.xml.gz").find("If-None-Match: \"1\""),
              std::string::npos);
    EXPECT_EQ(folder.read(cache), gzipped(guideOf(now, "Evening News", "Late Film")));
}

}  // namespace
}  // namespace qova::ui
