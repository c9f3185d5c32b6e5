// "Check channels" through the real window, against loopback servers: the channels that do not
// answer are greyed with their reason, no more than four are asked at once, a cancelled check
// asks no more, and the marks are there again at the next start.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "playback/channel_health.h"
#include "qt/qt_tree_view.h"
#include "support/message_box_watcher.h"
#include "testkit/loopback_http_server.h"
#include "testkit/temp_folder.h"
#include "ui/frm_main.h"

namespace qova::ui {
namespace {

class ChannelCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        streams.endless("/live.mp3", "\xFF\xFB\x90\x64", "audio/mpeg");
        streams.hang("/hang.mp3");
        streams.garbage("/garbage.mp3");
        std::string page;
        const auto line = [&](const std::string& name, const std::string& address) {
            page += "Test|Radio|" + name + "|" + address + "|EN\n";
        };
        line("Live", streams.url("/live.mp3"));
        line("Missing", streams.url("/missing.mp3"));
        line("Refused", testkit::closedPortUrl() + "refused.mp3");
        line("Hanging", streams.url("/hang.mp3"));
        line("Garbage", streams.url("/garbage.mp3"));
        // The late channels come after more than a check asks for at once.
        static_assert(playback::ChannelHealth::kAtOnce <= 5);
        streams.endless("/late.mp3", "\xFF\xFB\x90\x64", "audio/mpeg");
        for (int i = 0; i < 6; ++i)
            line("Live " + std::to_string(i), streams.url("/late.mp3") + "?" + std::to_string(i));
        directory.serve("/channels.txt", page);
        folder.write("Config.txt", "URLTXT=" + directory.url("/channels.txt") + "\r\n");
    }
    std::unique_ptr<FrmMain> start() {
        FrmMainOptions options;
        options.programFolder = folder.path();
        options.site.address = "http://127.0.0.1:9";
        options.audioOutput = "null";
        options.channelCheckLimitMs = 1000;
        auto window = std::make_unique<FrmMain>(std::move(options));
        window->load();
        window->show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->countryList()->count() > 0; }, 10000));
        window->logic().imgRadio_Click();
        QComboBox* list = window->countryList();
        list->setCurrentIndex(list->findText(QStringLiteral("Test")));
        emit list->activated(list->currentIndex());
        return window;
    }
    static QString line(FrmMain& window) {
        return window.findChild<QLabel*>(QStringLiteral("lblCheck"))->text();
    }
    static std::map<std::string, std::string> greyed(FrmMain& window) {
        std::map<std::string, std::string> found;
        QTreeWidget* tree = window.channelTree();
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* node = tree->topLevelItem(i);
            if (node->foreground(0).color() == QColor(140, 140, 140))
                found[node->text(0).toStdString()] = node->toolTip(0).toStdString();
        }
        return found;
    }

    testkit::LoopbackHttpServer directory;
    testkit::LoopbackHttpServer streams;
    testkit::TempFolder folder;
    testing::MessageBoxWatcher messages;
};

TEST_F(ChannelCheckTest, TheChannelsThatDoNotAnswerAreGreyedAndStaySoAndACancelAsksNoMore) {
    {
        auto window = start();
        QAction* check = window->findChild<QAction*>(QStringLiteral("mnuCheckChannels"));
        check->trigger();
        EXPECT_TRUE(window->findChild<QWidget*>(QStringLiteral("frmCheck"))->isVisible());
        ASSERT_TRUE(QTest::qWaitFor([&] { return line(*window).startsWith("Checked"); }, 20000))
            << line(*window).toStdString();
        EXPECT_EQ(line(*window), "Checked 11 channels: 4 did not answer.");
        EXPECT_LE(streams.peakConnections(), playback::ChannelHealth::kAtOnce);
        const auto marked = greyed(*window);
        ASSERT_EQ(marked.size(), 4u);
        for (const char* name : {"Missing", "Refused", "Hanging", "Garbage"})
            EXPECT_EQ(marked.count(name), 1u) << name;
        EXPECT_NE(marked.at("Missing").find("The server answered 404."), std::string::npos);
        EXPECT_NE(marked.at("Hanging").find("No answer within 1 second."), std::string::npos);
        EXPECT_EQ(window->channelTree()->topLevelItemCount(), 11);

        // Nothing answered between the click and the cancel, so the channels behind the first
        // ones were never asked for.
        const int late = streams.requestCount("/late.mp3");
        check->trigger();
        window->findChild<QPushButton*>(QStringLiteral("cmdCancelCheck"))->click();
        const QString cancelled = line(*window);
        EXPECT_TRUE(cancelled.startsWith("Check cancelled after 0 of 11"))
            << cancelled.toStdString();
        // Within the time a question may take (1 s here) each of the first ones ends, answered
        // or given up, and a check that went on would ask for the next at once: nothing of that
        // may come.
        EXPECT_FALSE(QTest::qWaitFor(
            [&] { return line(*window) != cancelled || streams.requestCount("/late.mp3") > late; },
            1500))
            << line(*window).toStdString();
        EXPECT_EQ(greyed(*window), marked);
    }
    auto again = start();
    EXPECT_EQ(greyed(*again).size(), 4u);
    EXPECT_TRUE(messages.seen().empty());
}

}  // namespace
}  // namespace qova::ui
