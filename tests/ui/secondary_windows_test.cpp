// The contact, about and required-software windows: their texts at every showing, and where
// their links lead.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include "fakes/fake_controls.h"
#include "ui/secondary_windows.h"

namespace qova::ui {
namespace {

TEST(SecondaryWindows, EachWindowLoadsItsTextsAtEveryShowingAndItsLinksLeadWhereTheySay) {
    state::Site site;
    site.address = "http://127.0.0.1:9";
    site.supportEmail = "help@127.0.0.1";
    state::SharedStrings shared;
    fakes::FakeShell shell;
    QWidget owner;
    QtSecondaryWindows windows{&owner, shared, site, shell};
    // What each showing showed; the link named is clicked before the window is closed.
    struct Seen {
        std::string window;
        QSize size;
        std::map<std::string, std::string> labels;
        QString caption;
    };
    std::vector<Seen> seen;
    const char* clickOn = nullptr;
    windows.onShown = [&](QDialog& window) {
        Seen now{window.objectName().toStdString(), window.size(), {}, window.windowTitle()};
        for (QLabel* label : window.findChildren<QLabel*>())
            now.labels[label->objectName().toStdString()] = label->text().toStdString();
        if (auto* link = window.findChild<LinkLabel*>(QString::fromLatin1(clickOn)))
            QTest::mouseClick(link, Qt::LeftButton);
        seen.push_back(now);
        window.close();
    };

    shared.strCommonText = "\r\n\r\nIF YOU NEED HELP\r\nCHANNEL then email us at:";
    shared.strCommonLink = "shown@example.invalid";
    clickOn = "lblLink";  // mails the support address, not what the label shows
    windows.showCommon();
    clickOn = "lblDownload";
    for (const char* player : {"WINAMP", "REAL PLAYER"}) {
        shared.strSoftHeading = "This channel requires:";
        shared.strSoftCenter = player;
        shared.strSoftDownload = std::string("Download ") + player;
        shared.strSoftUrl = std::string("http://127.0.0.1:9/software.html?") + player;
        windows.showSoftRequired();
    }
    for (const char* link : {"Label1", "lblLink", "Label2"}) {  // the product line is no link
        clickOn = link;
        windows.showAbout();
    }
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[0].window, "frmCommon");
    EXPECT_EQ(seen[0].size, QSize(388, 173));
    EXPECT_TRUE(seen[0].caption.isEmpty());
    EXPECT_EQ(seen[0].labels["lblMain"], "\r\n\r\nIF YOU NEED HELP\r\nCHANNEL THEN EMAIL US AT:");
    EXPECT_EQ(seen[0].labels["lblLink"], "shown@example.invalid");
    EXPECT_EQ(seen[2].window, "frmSoftRequired");
    EXPECT_EQ(seen[2].size, QSize(388, 173));
    EXPECT_EQ(seen[1].labels["lblCenter"], "WINAMP");
    EXPECT_EQ(seen[2].labels["lblCenter"], "REAL PLAYER");
    EXPECT_EQ(seen[2].labels["lblHeading"], "This channel requires:");
    EXPECT_EQ(seen[2].labels["lblDownload"], "Download REAL PLAYER");
    EXPECT_EQ(seen[3].window, "frmAbout");
    EXPECT_EQ(seen[3].size, QSize(388, 245));
    EXPECT_EQ(seen[3].labels["Label2"], "QOVA - TV and Radio Player");
    EXPECT_EQ(seen[3].labels["Label1"], "help@127.0.0.1");
    EXPECT_EQ(shell.opened, (std::vector<std::string>{
                                "mailto:help@127.0.0.1", "http://127.0.0.1:9/software.html?WINAMP",
                                "http://127.0.0.1:9/software.html?REAL PLAYER",
                                "mailto:help@127.0.0.1", "http://127.0.0.1:9"}));
}

}  // namespace
}  // namespace qova::ui
