// The real main window, offscreen, loading its channel directory from a loopback HTTP server:
// what lands in Channel.txt, what the user is told, and what the country list and tree show.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QThreadPool>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <regex>

#include "player/mpv_player.h"
#include "player/player_view.h"
#include "support/browser_recorder.h"
#include "support/main_window.h"
#include "support/message_box_watcher.h"
#include "testkit/loopback_http_server.h"
#include "testkit/test_media.h"
#include "web/page_loading.h"

namespace qova::ui {
namespace {

const std::string kPage =
    "France|Video|TV Un|http://127.0.0.1:1/un.mp4|FR\n"
    "Italy|Video|Rai Test|http://127.0.0.1:1/rai.mp4|IT\n"
    "Austria|Video|ORF Test|http://127.0.0.1:1/orf.mp4|DE\n"
    "france|VIDEO|TV Deux|http://127.0.0.1:1/deux.mp4|FR\n"
    "Italy|Radio|Radio Uno|http://127.0.0.1:1/uno.mp3|IT\n"
    "France|Video|TV Trois|http://127.0.0.1:1/trois.mp4|FR\n";
// Stored with CR LF line ends and one CR LF more.
const std::string kStored = std::regex_replace(kPage, std::regex("\n"), "\r\n") + "\r\n";
const std::vector<std::string> kCountries = {"Select Country", "Austria", "France", "Italy"};
const std::string kFavourite = "france|VIDEO|TV Deux|http://127.0.0.1:1/deux.mp4|FR";

/// The process's peak of resident memory since it was last forgotten, in MiB, forgotten first
/// when asked; nothing where the system does not allow that.
std::optional<double> peakMemoryMb(bool forget = false) {
    QFile clear(QStringLiteral("/proc/self/clear_refs")),
        status(QStringLiteral("/proc/self/status"));
    if (forget && !(clear.open(QIODevice::WriteOnly) && clear.write("5") == 1))
        return std::nullopt;
    status.open(QIODevice::ReadOnly);
    const std::string text = status.readAll().toStdString();
    std::smatch found;
    if (!std::regex_search(text, found, std::regex("VmHWM:\\s*(\\d+)")))
        return std::nullopt;
    return std::stod(found[1]) / 1024;
}

/// Whether an icon shows anything: a star, not the blank room every node keeps.
bool drawn(const QIcon& icon) {
    const QImage alpha = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_Alpha8);
    return std::any_of(alpha.constBits(), alpha.constBits() + alpha.sizeInBytes(),
                       [](uchar value) { return value > 0; });
}

class DirectoryIntegrationTest : public ::testing::Test {
  protected:
    /// The window's options on the program folder, with Config.txt naming this address.
    FrmMainOptions options(const std::string& address) {
        folder.write("Config.txt", "URLTXT=" + address + "\r\n");
        FrmMainOptions options = testing::windowOptions(folder);
        options.site.address = server.url("").substr(0, server.url("").size() - 1);
        options.noAnswerTimeoutMs = 1000;
        options.directoryTransferLimitMs = directoryTransferLimitMs;
        return options;
    }
    /// Makes the window and waits until the directory has been processed.
    std::unique_ptr<FrmMain> start(const std::string& address) {
        auto window = testing::startWindow(options(address));
        // Whatever the browser would raise afterwards has been raised by now.
        EXPECT_TRUE(testing::deliverPosted());
        return window;
    }
    static std::vector<std::string> countries(FrmMain& window) {
        return testing::listedCountries(window);
    }
    static void choose(FrmMain& window, const QString& country) {
        ASSERT_TRUE(testing::chooseCountry(window, country)) << country.toStdString();
    }
    /// The failed load was recorded, and the stored directory kept and shown.
    void expectKept(FrmMain& window, const std::string& error) {
        EXPECT_EQ(window.logic().state().strNavError, error);
        EXPECT_EQ(folder.read("Channel.txt"), kStored);
        EXPECT_EQ(countries(window), kCountries);
    }

    testkit::LoopbackHttpServer server;
    testkit::TempFolder folder;
    testing::MessageBoxWatcher messages;
    int directoryTransferLimitMs = web::kPageTransferLimitMs;
};

TEST_F(DirectoryIntegrationTest, ADirectoryIsStoredShownAndSearchedAndItsFavouritesGoOutAndBack) {
    folder.write("favorites.txt", kFavourite + "\r\n");
    server.serve("/channels.txt", kPage, "text/plain; charset=utf-8");
    auto window = start(server.url("/channels.txt"));
    // Stored without holding the window up for the disk; the player check passes on libmpv.
    EXPECT_TRUE(QTest::qWaitFor([&] { return folder.read("Channel.txt") == kStored; }, 5000));
    EXPECT_TRUE(messages.seen().empty());
    EXPECT_EQ(countries(*window), kCountries);
    EXPECT_EQ(window->countryList()->currentIndex(), 0);
    EXPECT_EQ(window->channelTree()->topLevelItemCount(), 0);

    choose(*window, "France");
    QTreeWidget* tree = window->channelTree();
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    const char* names[] = {"TV Un", "TV Deux", "TV Trois"};
    for (int i = 0; i < 3; ++i) {
        QTreeWidgetItem* node = tree->topLevelItem(i);
        EXPECT_EQ(node->text(0).toStdString(), names[i]);
        EXPECT_EQ(drawn(node->icon(0)), i == 1) << names[i];
        EXPECT_EQ(node->background(0).color(), QColor(204, 204, 204));
        EXPECT_EQ(node->foreground(0).color(), QColor(76, 76, 76));
    }
    EXPECT_EQ(tree->palette().color(QPalette::Base), QColor(204, 204, 204));
    EXPECT_EQ(*window->logic().channels().record(2), kFavourite);

    // Finding a channel filters the whole directory, and Esc gives the view back.
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
    auto* field = window->findChild<QLineEdit*>(QStringLiteral("txtSearch"));
    ASSERT_TRUE(field != nullptr && field->isVisible() && field->hasFocus());
    QTest::keyClicks(field, "uno ital");  // a radio channel of another country
    // Answered once the directory has been folded, away from the Qt thread: typing waits for no
    // fold, and what was there shows until then.
    EXPECT_EQ(tree->topLevelItemCount(), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree->topLevelItemCount() == 1; }, 10000));
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Radio Uno \u2014 Italy");
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(field->isVisible());
    EXPECT_EQ(window->countryList()->currentText(), "France");
    EXPECT_EQ(tree->topLevelItemCount(), 3);

    // The favourites go out as a playlist.
    QString answer = QString::fromStdString(folder.file("out.m3u8"));
    std::vector<std::pair<std::string, bool>> told;
    int asked = 0;
    window->chooseFile = [&](FrmMain::FileUse, const QString&) {
        ++asked;
        return answer;
    };
    window->tell = [&](const QString& text, bool failed) {
        told.emplace_back(text.toStdString(), failed);
    };
    auto trigger = [&](const char* name) {
        window->findChild<QAction*>(QString::fromLatin1(name))->trigger();
    };
    trigger("mnuExportFavourites");
    EXPECT_TRUE(told.empty());
    const std::string exported = folder.read("out.m3u8").value_or("");
    EXPECT_NE(exported.find("TV Deux"), std::string::npos) << exported;

    // Brought back into an empty list, then once more: the channel is there once, with its star.
    // The list is read away from the Qt thread; until it has been added the command is greyed
    // and asks for no other list.
    folder.write("favorites.txt", "");
    window->logic().state().strFavorites.clear();
    auto* import = window->findChild<QAction*>(QStringLiteral("mnuImportFavourites"));
    const auto imported = [&](std::size_t count) {
        return QTest::qWaitFor([&] { return told.size() == count; }, 10000);
    };
    asked = 0;
    import->trigger();
    EXPECT_TRUE(told.empty());
    EXPECT_FALSE(import->isEnabled());
    import->trigger();
    EXPECT_EQ(asked, 1);
    ASSERT_TRUE(imported(1));
    EXPECT_TRUE(import->isEnabled());
    import->trigger();
    ASSERT_TRUE(imported(2));
    EXPECT_EQ(told, (std::vector<std::pair<std::string, bool>>{
                        {"1 channel added to the favourites.", false},
                        {"0 channels added to the favourites.", false}}));
    EXPECT_EQ(folder.read("favorites.txt"), kFavourite + "\r\n");
    choose(*window, "France");
    EXPECT_TRUE(drawn(tree->topLevelItem(1)->icon(0)));

    // A file that is not there, and a place that cannot be written: said, and nothing lost.
    told.clear();
    answer = QString::fromStdString(folder.path() + "/none.m3u8");
    import->trigger();
    ASSERT_TRUE(imported(1));
    answer = QString::fromStdString(folder.path() + "/no/such/folder/out.m3u8");
    trigger("mnuExportFavourites");
    ASSERT_EQ(told.size(), 2u);
    EXPECT_TRUE(told[0].second && told[1].second);
    EXPECT_EQ(folder.read("favorites.txt"), kFavourite + "\r\n");
    EXPECT_EQ(folder.read("out.m3u8"), exported);

    // A window closed while its import is read hears nothing of it afterwards.
    answer = QString::fromStdString(folder.file("out.m3u8"));
    import->trigger();
    window.reset();
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_TRUE(testing::deliverPosted());
    EXPECT_EQ(told.size(), 2u);
}

TEST_F(DirectoryIntegrationTest, TheStoredDirectoryIsKeptThroughEveryFailure) {
    folder.write("Channel.txt", kStored);
    folder.write("favorites.txt", kFavourite + "\r\n");
    // The page is gone: the user is told, and the stored directory is used.
    expectKept(*start(server.url("/missing.txt")), "404");
    ASSERT_EQ(messages.texts(),
              (std::vector<std::string>{"Required Channels file does not excist."}));
    EXPECT_EQ(messages.seen()[0].caption, "QOVA");
    EXPECT_TRUE(messages.seen()[0].exclamation);
    EXPECT_EQ(messages.seen()[0].buttons, 1);
    // The server never answers.
    server.hang("/hang.txt");
    expectKept(*start(server.url("/hang.txt")), "-2146697211");
    // An endless page is given up at its limit, not at the end of the server's gigabyte, and
    // nothing is said.
    server.endless("/radio.mp3", "France|Video|Endless|http://127.0.0.1:1/x.mp4|FR\n");
    const std::optional<double> before = peakMemoryMb(true);
    expectKept(*start(server.url("/radio.mp3")), "-2146697208");
    EXPECT_LT(server.bytesSent("/radio.mp3"), 2 * web::kMaxDownloadBytes);
    if (before) {
        EXPECT_LT(*peakMemoryMb() - *before, 3.0 * web::kMaxDownloadBytes / (1 << 20));
    }

    // A window closed while its request hangs says nothing more: the request went with the
    // window, so its time-out can never come.
    const QPointer<FrmMain> window = new FrmMain(options(server.url("/hang.txt")));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->load();
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount("/hang.txt") == 2; }, 5000));
    window->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 5000));
    EXPECT_TRUE(testing::deliverPosted());
    EXPECT_EQ(messages.texts(),
              (std::vector<std::string>{"Required Channels file does not excist.",
                                        "Internet connection is not available."}));
    EXPECT_EQ(folder.read("favorites.txt"), kFavourite + "\r\n");
}

TEST_F(DirectoryIntegrationTest, APlaylistIsADirectoryAndItsChannelsPlayWithTheirHeaders) {
    server.serve("/eins.mp3", testkit::TestMedia::get().toneBytes(), "audio/mpeg");
    server.serve("/list.m3u8",
                 "#EXTM3U\n#EXTINF:-1 tvg-country=\"DE\" radio=\"true\",Radio Eins\n"
                 "#EXTVLCOPT:http-user-agent=QOVA Test/1.0\n"
                 "#EXTVLCOPT:http-referrer=http://127.0.0.1/\n" +
                     server.url("/eins.mp3") +
                     "\n#EXTINF:-1 tvg-country=\"FR\",France Test\nhttp://127.0.0.1:1/fr.m3u8\n",
                 "audio/x-mpegurl");
    folder.write("Player.html", "\r\n");
    auto window = start(server.url("/list.m3u8"));
    EXPECT_EQ(countries(*window), (std::vector<std::string>{"Select Country", "France"}));
    window->logic().imgRadio_Click();
    EXPECT_EQ(countries(*window), (std::vector<std::string>{"Select Country", "Germany"}));
    choose(*window, "Germany");
    QTreeWidget* tree = window->channelTree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Radio Eins");
    testing::clickNode(*window, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount("/eins.mp3") > 0; }, 10000));
    const std::string head = server.lastRequestHead("/eins.mp3");
    EXPECT_NE(head.find("User-Agent: QOVA Test/1.0\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("Referer: http://127.0.0.1/\r\n"), std::string::npos) << head;
    EXPECT_EQ(head.find("qova-http"), std::string::npos) << "the fragment went to the server";
}

// A relative URLTXT counts from the program folder, where Config.txt is; a directory there is a
// list on this computer, whose channels play the files it names.
TEST_F(DirectoryIntegrationTest, ARelativeDirectoryCountsFromTheProgramFolderAndPlaysItsFiles) {
    ASSERT_EQ(testkit::TestMedia::get().error(), "");
    std::filesystem::create_directory(folder.file("demo"));
    folder.write("demo/list.txt",
                 "Demo|Radio|Tone|file://" + testkit::TestMedia::get().tone() + "|EN\n");
    folder.write("Player.html", "\r\n");
    auto window = start("demo/list.txt");
    EXPECT_TRUE(messages.seen().empty());
    window->logic().imgRadio_Click();
    choose(*window, "Demo");
    QTreeWidget* tree = window->channelTree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    testing::clickNode(*window, 0);
    player::PlayerView& area = window->playerArea();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return area.player().state() == platform::MediaPlayer::State::Playing; }, 10000))
        << area.statusText().toStdString();
}

TEST_F(DirectoryIntegrationTest, ARadioStreamGivenAsTheDirectoryHoldsTheStoredOneBackNoLonger) {
    folder.write("Channel.txt", kStored);
    // 16 KB a second for ever: the time-out of a silent server never strikes.
    constexpr int kRate = 16 * 1024;
    server.trickle("/radio.mp3", "\xFF\xFB\x90\x64", "audio/mpeg", kRate);
    server.trickle("/radio", "\xFF\xFB\x90\x64", "text/plain", kRate, "icy-name: Radio\r\n");
    // Nothing says it is a stream: the limit of the whole transfer stops it.
    server.trickle("/endless.txt", kPage, "text/plain", kRate);
    for (const char* stream : {"/radio.mp3", "/radio", "/endless.txt"}) {
        SCOPED_TRACE(stream);
        directoryTransferLimitMs =
            std::string(stream) == "/endless.txt" ? 2000 : web::kPageTransferLimitMs;
        auto window = start(server.url(stream));
        expectKept(*window, "-2146697208");
        EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 5000));
    }
    EXPECT_TRUE(messages.seen().empty());
}

}  // namespace
}  // namespace qova::ui
