// The main window as a person sees it: controls that do not cover each other, names for screen
// readers, its menus, colours and font.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QMenuBar>
#include <QTest>

#include "fakes/fake_controls.h"
#include "testkit/temp_folder.h"
#include "ui/frm_main.h"

namespace qova::ui {
namespace {

std::unique_ptr<FrmMain> makeWindow(const testkit::TempFolder& folder) {
    FrmMainOptions options;
    options.programFolder = folder.path();
    options.site.address = "http://127.0.0.1:9";
    options.probe = std::make_unique<fakes::FakePlayerProbe>();
    options.audioOutput = "null";
    return std::make_unique<FrmMain>(std::move(options));
}

// The visible controls of a frame, none of them covering another.
void expectNoOverlap(const QWidget& frame) {
    std::vector<const QWidget*> shown;
    for (const QWidget* child : frame.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isVisible())
            continue;
        EXPECT_TRUE(frame.rect().contains(child->geometry())) << child->objectName().toStdString();
        for (const QWidget* other : shown) {
            EXPECT_FALSE(child->geometry().intersects(other->geometry()))
                << child->objectName().toStdString() << " covers "
                << other->objectName().toStdString();
        }
        shown.push_back(child);
    }
}

TEST(MainWindow, ControlsShareTheWindowWithoutCoveringEachOtherAndHaveNames) {
    testkit::TempFolder folder;
    auto window = makeWindow(folder);
    window->show();
    for (const char* name : {"frmUpper", "frmLower"}) {
        const auto* frame = window->findChild<QWidget*>(QString::fromLatin1(name));
        expectNoOverlap(*frame);
        EXPECT_FALSE(frame->accessibleName().isEmpty()) << name;
        for (const QWidget* control : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (control->isVisible()) {
                EXPECT_FALSE(control->accessibleName().isEmpty())
                    << control->objectName().toStdString();
            }
        }
    }
    // The hidden directory browser shows nothing; the two picture holders are never shown.
    EXPECT_FALSE(window->findChild<QWidget*>("wbDownload")
                     ->visibleRegion()
                     .intersects(window->centralWidget()->rect()));
    for (const char* holder : {"cmdAddFav", "cmdRemoveFav", "imgDownArrow"})
        EXPECT_FALSE(window->findChild<QWidget*>(QString::fromLatin1(holder))->isVisible());
    // The player's page is 550 by 338 pixels; the player area leaves room around it.
    EXPECT_EQ(window->findChild<QWidget*>("wbMain")->size(), QSize(552, 342));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST(MainWindow, TabGoesRoundTheControlsInTheWindowsOrder) {
    testkit::TempFolder folder;
    auto window = makeWindow(folder);
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->findChild<QWidget*>("cmdStopButton")->setFocus();
    std::vector<std::string> order;
    for (int i = 0; i < 13; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"wbArea", "cmdFavorite", "trView", "cmbCountry",
                                               "wbMain", "imgTV", "imgRadio", "imgFavorits",
                                               "imgVideoSearch", "imgStreamTest", "imgTVOnDemand",
                                               "imgHome", "cmdStopButton"}));
}

TEST(MainWindow, MenusColoursAndFont) {
    useWindowFont();
    testkit::TempFolder folder;
    auto window = makeWindow(folder);
    // The window's three menus of one item each, and the program's own after the first.
    const QList<QAction*> menus = window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 5);
    EXPECT_EQ(menus[1]->menu()->objectName(), "mnuPlayback");
    EXPECT_EQ(menus[2]->menu()->objectName(), "mnuChannels");
    for (int i : {0, 3, 4}) {
        EXPECT_EQ(menus[i]->menu()->actions().size(), 1) << menus[i]->text().toStdString();
    }
    // Every command of ours can be found with its keys.
    for (int i : {1, 2}) {
        for (QAction* command : menus[i]->menu()->actions()) {
            if (!command->isSeparator()) {
                EXPECT_FALSE(command->shortcut().isEmpty()) << command->text().toStdString();
            }
        }
    }
    window->show();
    menus[0]->menu()->actions()[0]->trigger();  // Exit
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->centralWidget()->palette().color(QPalette::Window), QColor(76, 76, 76));
    EXPECT_EQ(window->countryList()->palette().color(QPalette::Base), QColor(204, 204, 204));
    EXPECT_EQ(window->countryList()->palette().color(QPalette::Text), QColor(76, 76, 76));
    const QFontInfo font(window->font());
    EXPECT_EQ(font.family(), QStringLiteral("Tahoma"));
    EXPECT_NEAR(font.pointSizeF(), 8.25, 0.5);
}

}  // namespace
}  // namespace qova::ui
