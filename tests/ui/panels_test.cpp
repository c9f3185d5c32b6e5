// The information panel of the main window: folding it away and back, the browser window that
// shows it full size, and the buttons and menu items that open the service's pages.
#include <gtest/gtest.h>

#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "fakes/fake_controls.h"
#include "qt/qt_form_window.h"
#include "support/browser_recorder.h"
#include "support/message_box_watcher.h"
#include "testkit/loopback_http_server.h"
#include "testkit/temp_folder.h"
#include "ui/frm_browser.h"
#include "ui/frm_main.h"
#include "ui/secondary_windows.h"
#include "web/web_view.h"

namespace qova::ui {
namespace {

class PanelsTest : public ::testing::Test {
  protected:
    PanelsTest() {
        server.serve("/info3.html",
                     "<html><head><title>QOVA News</title></head><body>Hi</body></html>",
                     "text/html");
        server.serve("/channels.txt", "F|Video|A|u|EN\n");
        folder.write("Config.txt", "URLTXT=" + server.url("/channels.txt") + "\r\n");
        FrmMainOptions options;
        options.programFolder = folder.path();
        options.site.address = server.url("");
        options.site.address.pop_back();  // no trailing slash
        options.audioOutput = "null";
        options.noAnswerTimeoutMs = 1000;
        auto shell = std::make_unique<fakes::FakeShell>();
        opened = &shell->opened;
        options.shell = std::move(shell);
        site = options.site;
        window = std::make_unique<FrmMain>(std::move(options));
        window->load();
        window->show();
    }
    int outerHeight() { return qt::QtFormWindow(window.get()).heightTwips(); }
    QWidget* child(const char* name) {
        return window->findChild<QWidget*>(QString::fromLatin1(name));
    }
    /// Opens the browser window, anew where it is open.
    FrmBrowser& openBrowser() {
        if (window->browserWindow() != nullptr)
            window->browserWindow()->close();
        window->imgFullScreen_Click();
        FrmBrowser* browser = window->browserWindow();
        EXPECT_NE(browser, nullptr);
        return *browser;
    }

    testkit::LoopbackHttpServer server;
    testkit::TempFolder folder;
    testing::MessageBoxWatcher messages;
    state::Site site;
    std::vector<std::string>* opened = nullptr;
    std::unique_ptr<FrmMain> window;
};

TEST_F(PanelsTest, FoldingTakesThePanelAwayAndUnfoldingRestoresTheLoadedHeight) {
    const int loaded = window->logic().state().intFormHeight;
    ASSERT_EQ(outerHeight(), loaded);
    window->imgArrow_Click();
    // 1,675 twips, to the nearest pixel.
    EXPECT_EQ(loaded - outerHeight(), 112 * 15);
    EXPECT_FALSE(child("wbArea")->isVisible());
    EXPECT_FALSE(child("imgArrow")->isVisible());
    EXPECT_FALSE(child("imgFullScreen")->isVisible());
    EXPECT_TRUE(child("imgDownArrow")->isVisible());
    EXPECT_EQ(child("imgDownArrow")->x(), child("imgArrow")->x());
    // The arrow strip stays in view.
    const QPoint arrow = child("imgDownArrow")->mapTo(window->centralWidget(), QPoint(0, 8));
    EXPECT_LE(arrow.y(), window->centralWidget()->height());

    window->imgDownArrow_Click();
    EXPECT_EQ(outerHeight(), loaded);
    EXPECT_TRUE(child("wbArea")->isVisible());
    EXPECT_FALSE(child("imgDownArrow")->isVisible());
    EXPECT_EQ(child("imgDownArrow")->x(), child("imgArrow")->x());  // keeps the fold's place

    // Unfolding restores the loaded height whatever the height was in between.
    window->imgArrow_Click();
    window->setFixedHeight(300);
    window->imgDownArrow_Click();
    EXPECT_EQ(outerHeight(), loaded);
}

TEST_F(PanelsTest, TheBrowserWindowFollowsTitlesAndKeepsItsErrorAcrossShowings) {
    FrmBrowser& browser = openBrowser();
    EXPECT_TRUE(browser.isMaximized());
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser.windowTitle() == "QOVA News"; }, 5000));
    // Two clicks leave one window.
    window->imgFullScreen_Click();
    EXPECT_EQ(window->browserWindow(), &browser);
    const QSize outer = browser.frameGeometry().size();
    EXPECT_EQ(browser.wbHome().size(),
              QSize((outer.width() * 15 - 100 + 7) / 15, (outer.height() * 15 - 400 + 7) / 15));

    // Opened again, the window starts with its own caption, which a page without a title leaves.
    server.serve("/info3.html", "<html><body>no title</body></html>", "text/html");
    openBrowser();
    EXPECT_EQ(browser.windowTitle(), "Home Page");
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser.wbHome().bodyText() == "no title"; }, 5000));
    EXPECT_EQ(browser.windowTitle(), "Home Page");

    // A missing page is said once, and no later title reaches the caption.
    server.serve("/info3.html", "gone", "text/html", 404);
    openBrowser();
    ASSERT_TRUE(QTest::qWaitFor([&] { return messages.seen().size() == 1; }, 5000));
    EXPECT_EQ(messages.texts(), (std::vector<std::string>{"Page does not exist."}));
    EXPECT_EQ(browser.strNavError(), "404");
    server.serve("/info3.html", "<html><head><title>Back</title></head></html>", "text/html");
    openBrowser();
    // The page's DocumentComplete is handled in the same turn that completes it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser.wbHome().readyState() == 4; }, 5000));
    EXPECT_EQ(browser.windowTitle(), "Home Page");
    EXPECT_EQ(browser.strNavError(), "404");

    // An unreachable site is said, and recorded in place of the missing page.
    server.hang("/info3.html");
    openBrowser();
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser.strNavError() != "404"; }, 5000));
    EXPECT_EQ(messages.texts(),
              (std::vector<std::string>{"Page does not exist.",
                                        "Internet connection is not available."}));
    EXPECT_EQ(browser.strNavError(), "-2146697211");
    browser.close();
}

TEST_F(PanelsTest, WithoutTheServiceThePanelSaysWhatItIsWhereTheDirectoryIsSetAndWhereToFindMore) {
    web::WebView& panel = window->informationArea();
    testing::BrowserRecorder recorder(panel);
    const std::string unreachable = testkit::closedPortUrl();
    ASSERT_TRUE(recorder.load(unreachable));
    testing::expectErrorThenErrorPageEvents(recorder.events, unreachable,
                                            platform::WebBrowser::kStatusResourceNotFound);
    EXPECT_TRUE(panel.bodyText().starts_with("QOVA - TV and Radio Player\r\n")) << panel.bodyText();
    EXPECT_NE(panel.bodyText().find(folder.file("Config.txt")), std::string::npos);
    // A new user meets where real channels come from.
    EXPECT_NE(panel.bodyText().find("New here? Channels > Discover channels... (Ctrl+D) adds the "
                                    "radio stations and TV channels of your country."),
              std::string::npos)
        << panel.bodyText();
}

TEST_F(PanelsTest, WebButtonsAndMenusOpenExactlyTheirAddresses) {
    for (const char* button : {"imgHome", "imgTVOnDemand", "imgVideoSearch", "imgStreamTest"}) {
        window->findChild<QPushButton*>(QString::fromLatin1(button))->click();
    }
    EXPECT_EQ(*opened, (std::vector<std::string>{site.address, site.address + "/ondemand.html",
                                                 site.address + "/video.html",
                                                 site.address + "/speedtest.html"}));
    std::vector<std::string> shown;
    window->secondaryWindows().onShown = [&](QDialog& dialog) {
        shown.push_back(dialog.objectName().toStdString());
        dialog.close();
    };
    // The file and folder commands are given none: they do nothing.
    int asked = 0;
    window->chooseFile = [&](FrmMain::FileUse, const QString&) {
        ++asked;
        return QString();
    };
    window->tell = [](const QString& text, bool) { ADD_FAILURE() << text.toStdString(); };
    for (QAction* menu : window->menuBar()->actions()) {
        for (QAction* item : menu->menu()->actions()) {
            if (item->objectName() != "mnuExit")
                item->trigger();
        }
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"frmCommon", "frmAbout"}));
    // Import and export of favourites, and the recordings folder.
    EXPECT_EQ(asked, 3);
    // Exit closes the main window only.
    window->imgFullScreen_Click();
    window->findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->browserWindow()->isVisible());
    window->browserWindow()->close();
}

}  // namespace
}  // namespace qova::ui
