// The main window as a person sees it: controls that do not cover each other, names for screen
// readers, its menus, colours and font.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QMenuBar>
#include <QTest>
#include <map>

#include "fakes/fake_controls.h"
#include "testkit/temp_folder.h"
#include "ui/frm_main.h"

namespace qova::ui {
namespace {

// The visible controls of a frame: inside it, none covering another, each with a name for screen
// readers, as the frame has.
void expectPlacedAndNamed(const QWidget& frame) {
    EXPECT_FALSE(frame.accessibleName().isEmpty()) << frame.objectName().toStdString();
    std::vector<const QWidget*> shown;
    for (const QWidget* child : frame.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isVisible())
            continue;
        EXPECT_TRUE(frame.rect().contains(child->geometry())) << child->objectName().toStdString();
        EXPECT_FALSE(child->accessibleName().isEmpty()) << child->objectName().toStdString();
        for (const QWidget* other : shown) {
            EXPECT_FALSE(child->geometry().intersects(other->geometry()))
                << child->objectName().toStdString() << " covers "
                << other->objectName().toStdString();
        }
        shown.push_back(child);
    }
}

TEST(MainWindow, ControlsMenusTabOrderColoursAndFontAsThePersonMeetsThem) {
    useWindowFont();
    testkit::TempFolder folder;
    FrmMainOptions options;
    options.programFolder = folder.path();
    options.site.address = "http://127.0.0.1:9";
    options.probe = std::make_unique<fakes::FakePlayerProbe>();
    options.audioOutput = "null";
    FrmMain window(std::move(options));
    window.show();
    for (const char* name : {"frmUpper", "frmLower"})
        expectPlacedAndNamed(*window.findChild<QWidget*>(QString::fromLatin1(name)));
    // The hidden directory browser shows nothing; the two picture holders are never shown.
    EXPECT_FALSE(window.findChild<QWidget*>("wbDownload")
                     ->visibleRegion()
                     .intersects(window.centralWidget()->rect()));
    for (const char* holder : {"cmdAddFav", "cmdRemoveFav", "imgDownArrow"})
        EXPECT_FALSE(window.findChild<QWidget*>(QString::fromLatin1(holder))->isVisible());
    // The player's page is 550 by 338 pixels; the player area leaves room around it.
    EXPECT_EQ(window.findChild<QWidget*>("wbMain")->size(), QSize(552, 342));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);

    // Tab goes round the controls in the window's order, past the hidden ones.
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.findChild<QWidget*>("cmdStopButton")->setFocus();
    std::vector<std::string> order;
    for (int i = 0; i < 13; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"wbArea", "cmdFavorite", "trView", "cmbCountry",
                                               "wbMain", "imgTV", "imgRadio", "imgFavorits",
                                               "imgVideoSearch", "imgStreamTest", "imgTVOnDemand",
                                               "imgHome", "cmdStopButton"}));

    // The window's three menus of one item each, and the program's own after the first; every
    // command of ours can be found with its keys.
    const QList<QAction*> menus = window.menuBar()->actions();
    ASSERT_EQ(menus.size(), 5);
    EXPECT_EQ(menus[1]->menu()->objectName(), "mnuPlayback");
    EXPECT_EQ(menus[2]->menu()->objectName(), "mnuChannels");
    for (int i : {0, 3, 4})
        EXPECT_EQ(menus[i]->menu()->actions().size(), 1) << menus[i]->text().toStdString();
    // Alt and a letter: each letter reaches one command of its menu.
    for (int i : {1, 2}) {
        std::map<QChar, QString> keys;
        for (QAction* command : menus[i]->menu()->actions()) {
            if (command->isSeparator())
                continue;
            EXPECT_FALSE(command->shortcut().isEmpty()) << command->text().toStdString();
            const QString text = command->text();
            const qsizetype amp = text.indexOf(QLatin1Char('&'));
            ASSERT_TRUE(amp >= 0 && amp + 1 < text.size()) << text.toStdString();
            const auto [was, fresh] = keys.emplace(text[amp + 1].toLower(), text);
            EXPECT_TRUE(fresh) << text.toStdString() << " and " << was->second.toStdString();
        }
    }
    EXPECT_EQ(window.centralWidget()->palette().color(QPalette::Window), QColor(76, 76, 76));
    EXPECT_EQ(window.countryList()->palette().color(QPalette::Base), QColor(204, 204, 204));
    EXPECT_EQ(window.countryList()->palette().color(QPalette::Text), QColor(76, 76, 76));
    const QFontInfo font(window.font());
    EXPECT_EQ(font.family(), QStringLiteral("Tahoma"));
    EXPECT_NEAR(font.pointSizeF(), 8.25, 0.5);
    menus[0]->menu()->actions()[0]->trigger();  // Exit
    EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace qova::ui
