// The discover window of the real main window, against loopback stand-ins of the radio station
// database and of the TV playlist tree named by QOVA_RADIO_API and QOVA_TV_API, with fixtures
// written by hand from both formats. The test runs under a German locale (LC_ALL=de_DE.UTF-8).
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "discover/sources.h"
#include "qt/qt_tree_view.h"
#include "support/main_window.h"
#include "support/message_box_watcher.h"
#include "testkit/loopback_http_server.h"
#include "testkit/temp_folder.h"
#include "ui/frm_channel_lists.h"
#include "ui/frm_discover.h"
#include "ui/frm_main.h"

namespace qova::ui {
namespace {

using Strings = std::vector<std::string>;
constexpr int kWaitMs = testing::kWindowWaitMs;

const char* const kCountries = R"([{"name":"Germany","iso_3166_1":"DE","stationcount":3},)"
                               R"({"name":"Austria","iso_3166_1":"AT","stationcount":1},)"
                               R"({"name":"Afghanistan","iso_3166_1":"AF","stationcount":7}])";
const char* const kGermanStations =
    R"([{"changeuuid":"a1","stationuuid":"11111111-0000-4000-8000-000000000001",)"
    R"("name":"Bayern 3","url":"http://127.0.0.1:1/b3","url_resolved":"http://127.0.0.1:1/b3.mp3",)"
    R"("homepage":"https://127.0.0.1/","favicon":"","tags":"pop","country":"Germany",)"
    R"("countrycode":"DE","state":"Bayern","language":"german","languagecodes":"de","votes":5,)"
    R"("codec":"MP3","bitrate":128,"hls":0,"lastcheckok":1,"clickcount":900},)"
    R"({"stationuuid":"11111111-0000-4000-8000-000000000002","name":"1LIVE",)"
    R"("url_resolved":"http://127.0.0.1:1/1live.mp3","countrycode":"DE","lastcheckok":1},)"
    R"({"stationuuid":"11111111-0000-4000-8000-000000000003","name":"Silent",)"
    R"("url_resolved":"http://127.0.0.1:1/silent.mp3","countrycode":"DE","lastcheckok":0}])";
const char* const kFound =
    R"([{"stationuuid":"22222222-0000-4000-8000-000000000001","name":"Jazz Radio Wien",)"
    R"("url_resolved":"http://127.0.0.1:1/jazz.mp3","countrycode":"AT","lastcheckok":1}])";
const char* const kGermanTv =
    "#EXTM3U x-tvg-url=\"https://127.0.0.1/guide.xml\"\n"
    "#EXTINF:-1 tvg-id=\"ZDF.de@SD\" tvg-logo=\"https://127.0.0.1/zdf.png\" "
    "group-title=\"General\",ZDF (720p)\n"
    "#EXTVLCOPT:http-user-agent=Mozilla/5.0\n"
    "https://127.0.0.1:1/zdf.m3u8\n"
    "#EXTINF:-1 tvg-id=\"Phoenix.de@SD\" group-title=\"News;Documentary\",phoenix\n"
    "https://127.0.0.1:1/phoenix.m3u8\n";

class DiscoverWindowTest : public ::testing::Test {
  protected:
    void serveSources() {
        radio.serve("/json/countries", kCountries, "application/json");
        radio.serve("/json/stations/bycountrycodeexact/DE", kGermanStations, "application/json");
        radio.serve("/json/stations/search", kFound, "application/json");
        for (const char* id :
             {"11111111-0000-4000-8000-000000000001", "11111111-0000-4000-8000-000000000002",
              "22222222-0000-4000-8000-000000000001"}) {
            radio.serve(std::string("/json/url/") + id,
                        R"({"ok":true,"message":"retrieved station url"})", "application/json");
        }
        tv.serve("/countries/de.m3u", kGermanTv, "audio/x-mpegurl");
        pointAt(radio.url("/"), tv.url("/"));
    }
    static void pointAt(const std::string& radioApi, const std::string& tvApi) {
        qputenv("QOVA_RADIO_API", QByteArray::fromStdString(radioApi));
        qputenv("QOVA_TV_API", QByteArray::fromStdString(tvApi));
    }
    std::unique_ptr<FrmMain> start() {
        // The directory names Germany in German, among its TV channels alone.
        folder.write("Channel.txt",
                     "Deutschland|Video|Das Erste|http://127.0.0.1:1/ard.m3u8|DE\r\n");
        folder.write("Config.txt", "URLTXT=file://" + folder.file("Channel.txt") + "\r\n");
        FrmMainOptions options = testing::windowOptions(folder);
        options.noAnswerTimeoutMs = 1000;
        return testing::startWindow(std::move(options));
    }
    FrmDiscover& openDiscover(FrmMain& window) {
        window.findChild<QAction*>(QStringLiteral("mnuDiscover"))->trigger();
        FrmDiscover* discover = window.discoverWindow();
        EXPECT_TRUE(discover != nullptr && discover->isVisible());
        return *discover;
    }
    static void press(FrmDiscover& discover, const char* name) {
        discover.findChild<QPushButton*>(QString::fromLatin1(name))->click();
    }
    /// Both buttons pressed, their lists as settledLists gives them.
    static Strings addBoth(FrmDiscover& discover) {
        press(discover, "cmdAddRadio");
        press(discover, "cmdAddTv");
        return settledLists(discover, 2);
    }
    static std::string note(FrmDiscover& discover) {
        return discover.findChild<QLabel*>(QStringLiteral("lblDiscoverNote"))->text().toStdString();
    }
    /// The discover window's lists, as "title|channels|state", once none is being fetched.
    static Strings settledLists(FrmDiscover& discover, int count) {
        QTableWidget* table = discover.lists();
        const auto row = [table](int i) {
            return table->item(i, 0)->text().toStdString() + "|" +
                   table->item(i, 1)->text().toStdString() + "|" +
                   table->item(i, 2)->text().toStdString();
        };
        const bool settled = QTest::qWaitFor(
            [&] {
                if (table->rowCount() != count)
                    return false;
                for (int i = 0; i < count; ++i) {
                    if (table->item(i, 2)->text().startsWith(QStringLiteral("Fetching")))
                        return false;
                }
                return true;
            },
            kWaitMs);
        Strings rows;
        for (int i = 0; settled && i < count; ++i)
            rows.push_back(row(i));
        return rows;
    }
    static Strings countries(FrmMain& window, bool radioCategory) {
        radioCategory ? window.logic().imgRadio_Click() : window.logic().imgTV_Click();
        const Strings listed = testing::listedCountries(window);
        return Strings(listed.begin() + 1, listed.end());
    }
    static Strings channels(FrmMain& window, bool radioCategory, const char* country) {
        countries(window, radioCategory);
        EXPECT_TRUE(testing::chooseCountry(window, QString::fromUtf8(country))) << country;
        return testing::nodeNames(window);
    }
    /// Starts the channel at a node of the tree, as a click on it does.
    static void startNode(FrmMain& window, int node) {
        window.channelTree()->setCurrentItem(window.channelTree()->topLevelItem(node - 1));
        window.logic().trView_Click();
    }

    testkit::LoopbackHttpServer radio;
    testkit::LoopbackHttpServer tv;
    testkit::TempFolder folder;
    testing::MessageBoxWatcher messages;
};

TEST_F(DiscoverWindowTest, TheLocalesCountryComesFirstAndBothButtonsBringItsChannelsUnderIt) {
    serveSources();
    auto window = start();
    FrmDiscover& discover = openDiscover(*window);
    EXPECT_EQ(discover.windowTitle().toStdString(), "Discover channels");
    QComboBox* chooser = discover.countries();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return chooser->itemText(0) == QStringLiteral("Germany (3 stations)"); }, kWaitMs));
    EXPECT_EQ(chooser->itemText(1).toStdString(), "Afghanistan (7 stations)");

    EXPECT_EQ(addBoth(discover), (Strings{"Radio stations of Germany|2|Up to date",
                                          "TV channels of Germany|2|Up to date"}));
    EXPECT_EQ(*folder.read("ChannelLists.txt"),
              discover::RadioListAddress("DE") + "\r\n" + discover::TvListAddress("DE") + "\r\n");
    // Under the directory's own name for the country, in TV and in Radio.
    EXPECT_EQ(countries(*window, false), Strings{"Deutschland"});
    EXPECT_EQ(channels(*window, false, "Deutschland"),
              (Strings{"Das Erste", "ZDF (720p)", "phoenix"}));
    EXPECT_EQ(countries(*window, true), Strings{"Deutschland"});
    EXPECT_EQ(channels(*window, true, "Deutschland"), (Strings{"Bayern 3", "1LIVE"}));

    // Every request named the program; the stations came the most listened first.
    for (const std::string& head : {radio.lastRequestHead("/json/countries"),
                                    radio.lastRequestHead("/json/stations/bycountrycodeexact/DE"),
                                    tv.lastRequestHead("/countries/de.m3u")}) {
        EXPECT_NE(head.find("User-Agent: " + discover::UserAgent() + "\r\n"), std::string::npos)
            << head;
    }
    EXPECT_NE(radio.lastRequestHead("/json/stations/bycountrycodeexact/DE")
                  .find("?hidebroken=true&order=clickcount&reverse=true&limit=1000 "),
              std::string::npos);
    // A second press adds nothing twice.
    press(discover, "cmdAddRadio");
    EXPECT_EQ(note(discover), "Radio stations of Germany: added already.");
    EXPECT_EQ(discover.lists()->rowCount(), 2);

    // The lists window names them. The stations' servers refuse: a check of the country finds
    // both dead, which the lists window counts while it is open.
    window->findChild<QAction*>(QStringLiteral("mnuChannelLists"))->trigger();
    QTableWidget* table = window->channelListsWindow()->table();
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 0)->text().toStdString(), "Radio stations of Germany");
    EXPECT_EQ(table->item(0, 0)->toolTip().toStdString(), discover::RadioListAddress("DE"));
    EXPECT_EQ(table->item(0, 1)->text().toStdString(), "2");
    window->findChild<QAction*>(QStringLiteral("mnuCheckChannels"))->trigger();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return table->item(0, 1)->text() == QStringLiteral("2 (2 not answering)"); },
        kWaitMs))
        << table->item(0, 1)->text().toStdString();
    EXPECT_EQ(table->item(1, 1)->text().toStdString(), "2");
    EXPECT_TRUE(messages.seen().empty());
}

TEST_F(DiscoverWindowTest, AStartedStationIsCountedOnceAndNothingElseEver) {
    serveSources();
    auto window = start();
    FrmDiscover& discover = openDiscover(*window);
    addBoth(discover);
    const auto counted = [&](const char* id) {
        return radio.requestCount(std::string("/json/url/") + id);
    };
    const char* const bayern = "11111111-0000-4000-8000-000000000001";
    const char* const einsLive = "11111111-0000-4000-8000-000000000002";
    channels(*window, true, "Deutschland");
    startNode(*window, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return counted(bayern) == 1; }, kWaitMs));
    // Tried again before it ever played: the same start.
    startNode(*window, 1);
    startNode(*window, 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return counted(einsLive) == 1; }, kWaitMs));
    // The directory's channels and the TV list's are never counted.
    channels(*window, false, "Deutschland");
    startNode(*window, 1);
    startNode(*window, 2);
    // A station a search found plays with a click, is counted, and can be kept.
    QLineEdit* search = discover.findChild<QLineEdit*>(QStringLiteral("txtDiscoverSearch"));
    search->setText(QStringLiteral("jazz wien"));
    emit search->returnPressed();
    ASSERT_TRUE(QTest::qWaitFor([&] { return discover.found()->count() == 1; }, kWaitMs));
    EXPECT_EQ(discover.found()->item(0)->text().toStdString(), "Jazz Radio Wien \u2014 Austria");
    EXPECT_NE(radio.lastRequestHead("/json/stations/search").find("name=jazz%20wien&"),
              std::string::npos);
    emit discover.found()->itemClicked(discover.found()->item(0));
    EXPECT_EQ(window->logic().state().strCurrentRecord,
              "Austria|Radio|Jazz Radio Wien|http://127.0.0.1:1/jazz.mp3|");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return counted("22222222-0000-4000-8000-000000000001") == 1; }, kWaitMs));
    discover.found()->setCurrentRow(0);
    press(discover, "cmdDiscoverFavourite");
    EXPECT_EQ(*folder.read("favorites.txt"),
              "Austria|Radio|Jazz Radio Wien|http://127.0.0.1:1/jazz.mp3|\r\n");

    // Nothing more was counted in the meantime, once every answer is in.
    QTest::qWait(300);
    EXPECT_EQ(counted(bayern), 1);
    EXPECT_EQ(counted(einsLive), 1);
    EXPECT_TRUE(messages.seen().empty());
}

TEST_F(DiscoverWindowTest, SourcesDownSlowOrAnsweringGarbageLeaveTheProgramUsableAndAreSaid) {
    testkit::LoopbackHttpServer slow;
    slow.hang("/json/countries");
    slow.hang("/json/stations/bycountrycodeexact/DE");
    slow.hang("/countries/de.m3u");
    testkit::LoopbackHttpServer garbage;
    garbage.garbage("/json/countries");
    garbage.serve("/json/stations/bycountrycodeexact/DE", "<html>Maintenance</html>", "text/html");
    pointAt(testkit::closedPortUrl() + "," + slow.url("/") + "," + garbage.url("/"), slow.url("/"));
    auto window = start();
    FrmDiscover& discover = openDiscover(*window);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !note(discover).empty(); }, kWaitMs));
    EXPECT_EQ(note(discover),
              "No server of the radio station database answers. Radio stations added now are "
              "fetched at the next start; TV channels come from elsewhere.");
    // Countries are offered all the same, for the TV channels.
    EXPECT_EQ(discover.countries()->itemText(0).toStdString(), "Germany");
    EXPECT_EQ(addBoth(discover),
              (Strings{"Radio stations of Germany|0|No server of the radio station database "
                       "answers.",
                       "TV channels of Germany|0|The server cannot be reached."}));
    // The window and the program went on answering, and no box was shown.
    EXPECT_EQ(countries(*window, false), Strings{"Deutschland"});
    EXPECT_TRUE(messages.seen().empty());
}

TEST_F(DiscoverWindowTest, ASecondStartWithBothSourcesGoneStillListsTheChannels) {
    serveSources();
    addBoth(openDiscover(*start()));
    pointAt(testkit::closedPortUrl(), testkit::closedPortUrl());
    auto window = start();
    EXPECT_EQ(channels(*window, true, "Deutschland"), (Strings{"Bayern 3", "1LIVE"}));
    EXPECT_EQ(channels(*window, false, "Deutschland"),
              (Strings{"Das Erste", "ZDF (720p)", "phoenix"}));
    EXPECT_EQ(settledLists(openDiscover(*window), 2),
              (Strings{"Radio stations of Germany|2|No server of the radio station database "
                       "answers. The copy kept is used.",
                       "TV channels of Germany|2|The server cannot be reached. The copy kept is "
                       "used."}));
    EXPECT_TRUE(messages.seen().empty());
}

}  // namespace
}  // namespace qova::ui
