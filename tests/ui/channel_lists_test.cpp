// The real main window with a channel list added through its Channel lists window, served over
// loopback HTTP: the channels join the directory, outlive the list's server, and a program
// without lists is left exactly as it was.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "support/browser_recorder.h"
#include "support/message_box_watcher.h"
#include "testkit/loopback_http_server.h"
#include "testkit/temp_folder.h"
#include "ui/frm_channel_lists.h"
#include "ui/frm_main.h"

namespace qova::ui {
namespace {

const std::string kStationList =
    R"([{"name":"Radio Wien","url_resolved":"http://127.0.0.1:1/wien.mp3","countrycode":"AT",)"
    R"("language":"german","lastcheckok":1},)"
    R"({"name":"Gone","url":"http://127.0.0.1:1/gone.mp3","countrycode":"AT","lastcheckok":0}])";

class ChannelListsTest : public ::testing::Test {
  protected:
    std::unique_ptr<FrmMain> start() {
        FrmMainOptions options;
        options.programFolder = folder.path();
        options.site.address = "http://127.0.0.1:9";
        options.noAnswerTimeoutMs = 1000;
        options.listTransferLimitMs = 60000;
        options.audioOutput = "null";
        auto window = std::make_unique<FrmMain>(std::move(options));
        window->load();
        window->show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->countryList()->count() > 0; }, 10000));
        return window;
    }
    std::vector<std::string> radioCountries(FrmMain& window) const {
        window.logic().imgRadio_Click();
        return countries(window);
    }
    std::vector<std::string> countries(FrmMain& window) const {
        std::vector<std::string> out;
        for (int i = 1; i < window.countryList()->count(); ++i)
            out.push_back(window.countryList()->itemText(i).toStdString());
        return out;
    }
    /// The lists window's state column once no list is being fetched.
    std::string settledState(FrmMain& window) const {
        QTableWidget* table = window.channelListsWindow()->table();
        const bool settled = QTest::qWaitFor(
            [&] {
                return table->rowCount() == 1 && table->item(0, 3) != nullptr &&
                       !table->item(0, 3)->text().startsWith(QStringLiteral("Fetching"));
            },
            10000);
        return settled ? table->item(0, 3)->text().toStdString() : "never settled";
    }

    testkit::LoopbackHttpServer server;
    testkit::TempFolder folder;
    testing::MessageBoxWatcher messages;
};

TEST_F(ChannelListsTest, WithoutListsOnlyTheDirectoryIsWrittenAndAnAddedListOutlivesItsServer) {
    server.serve("/channels.txt", "France|Video|TV Un|http://127.0.0.1:1/un.mp4|FR\n");
    folder.write("Config.txt", "URLTXT=" + server.url("/channels.txt") + "\r\n");
    {
        auto window = start();
        EXPECT_TRUE(testing::deliverPosted());
        EXPECT_TRUE(window->logic().addedLists().lists().empty());
    }
    const QDir files(QString::fromStdString(folder.path()));
    EXPECT_EQ(files.entryList(QDir::Files, QDir::Name).join(' ').toStdString(),
              "Channel.txt Config.txt");

    auto listServer = std::make_unique<testkit::LoopbackHttpServer>();
    listServer->serve("/stations.json", kStationList, "application/json");
    {
        auto window = start();
        window->findChild<QAction*>(QStringLiteral("mnuAddList"))->trigger();
        FrmChannelLists* lists = window->channelListsWindow();
        ASSERT_TRUE(lists != nullptr && lists->isVisible());
        lists->findChild<QLineEdit*>(QStringLiteral("txtListAddress"))
            ->setText(QString::fromStdString(listServer->url("/stations.json")));
        lists->findChild<QPushButton*>(QStringLiteral("cmdAddList"))->click();
        EXPECT_EQ(settledState(*window), "Up to date");
        EXPECT_EQ(lists->table()->item(0, 1)->text(), "1");
        // Stations are radio: the TV countries stay the directory's.
        EXPECT_EQ(countries(*window), (std::vector<std::string>{"France"}));
        EXPECT_EQ(radioCountries(*window), (std::vector<std::string>{"Austria"}));
    }
    listServer.reset();
    {
        auto window = start();
        EXPECT_EQ(radioCountries(*window), (std::vector<std::string>{"Austria"}));
        window->findChild<QAction*>(QStringLiteral("mnuChannelLists"))->trigger();
        EXPECT_EQ(settledState(*window), "The address cannot be reached. The copy kept is used.");
        EXPECT_EQ(radioCountries(*window), (std::vector<std::string>{"Austria"}));
        // Removed, it takes its channels and its copy with it.
        FrmChannelLists* lists = window->channelListsWindow();
        lists->table()->selectRow(0);
        lists->findChild<QPushButton*>(QStringLiteral("cmdRemoveList"))->click();
        EXPECT_EQ(lists->table()->rowCount(), 0);
        EXPECT_TRUE(radioCountries(*window).empty());
    }
    EXPECT_TRUE(messages.seen().empty());
    EXPECT_EQ(folder.read("ChannelLists.txt"), "");
}

TEST_F(ChannelListsTest, AListWhoseServerTricklesHoldsTheOthersBackNoLonger) {
    server.serve("/channels.txt", "France|Video|TV Un|http://127.0.0.1:1/un.mp4|FR\n");
    // Sent at 16 KB a second for ever, and long before its limit of a minute.
    server.trickle("/endless.m3u", "#EXTM3U\n", "text/plain", 16 * 1024);
    server.serve("/stations.json", kStationList, "application/json");
    folder.write("Config.txt", "URLTXT=" + server.url("/channels.txt") + "\r\n");
    folder.write("ChannelLists.txt",
                 server.url("/endless.m3u") + "\r\n" + server.url("/stations.json") + "\r\n");
    auto window = start();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !window->logic().state().strAddedChannels.empty(); }, 10000));
    EXPECT_EQ(radioCountries(*window), (std::vector<std::string>{"Austria"}));
    EXPECT_TRUE(window->logic().addedLists().lists()[0].fetching);
}

}  // namespace
}  // namespace qova::ui
