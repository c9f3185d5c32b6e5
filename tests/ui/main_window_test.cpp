// The main window as a person sees it: every control at its place and size, its menus, colours
// and font, and names for screen readers.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontInfo>
#include <QMenuBar>

#include "fakes/fake_controls.h"
#include "testkit/temp_folder.h"
#include "ui/frm_main.h"
#include "ui/layout.h"

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

TEST(MainWindow, EveryControlStandsAtItsPlaceAndSize) {
    testkit::TempFolder folder;
    auto window = makeWindow(folder);
    namespace L = main_layout;
    const struct {
        const char* name;
        TwipRect place;
        QRect pixels;
        bool visible;
    } controls[] = {
        {"frmUpper", L::frmUpper, {5, 0, 787, 471}, true},
        {"cmdStopButton", L::cmdStopButton, {0, 440, 33, 30}, true},
        {"imgHome", L::imgHome, {660, 5, 122, 82}, true},
        {"imgTVOnDemand", L::imgTVOnDemand, {330, 5, 107, 82}, true},
        {"imgStreamTest", L::imgStreamTest, {550, 5, 107, 82}, true},
        {"imgVideoSearch", L::imgVideoSearch, {440, 5, 107, 82}, true},
        {"imgFavorits", L::imgFavorits, {220, 5, 107, 82}, true},
        {"imgRadio", L::imgRadio, {110, 5, 107, 82}, true},
        {"imgTV", L::imgTV, {0, 5, 107, 82}, true},
        {"cmbCountry", L::cmbCountry, {0, 95, 226, 21}, true},
        {"cmdFavorite", L::cmdFavorite, {35, 440, 33, 30}, true},
        {"cmdRemoveFav", L::cmdRemoveFav, {70, 440, 33, 28}, false},
        {"cmdAddFav", L::cmdAddFav, {105, 440, 33, 28}, false},
        {"trView", L::trView, {0, 125, 226, 311}, true},
        {"wbMain", L::wbMain, {230, 95, 552, 342}, true},
        {"wbDownload", L::wbDownload, {-3, 470, 2, 2}, true},
        {"frmLower", L::frmLower, {5, 475, 782, 129}, true},
        {"wbArea", L::wbArea, {0, 15, 782, 111}, true},
        {"imgDownArrow", L::imgDownArrow, {711, 5, 19, 8}, false},
        {"imgArrow", L::imgArrow, {736, 5, 19, 8}, true},
        {"imgFullScreen", L::imgFullScreen, {761, 5, 19, 8}, true},
    };
    window->show();
    for (const auto& c : controls) {
        auto* widget = window->findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(widget, nullptr) << c.name;
        EXPECT_EQ(widget->geometry(), c.pixels) << c.name;
        EXPECT_EQ(toPixels(c.place), c.pixels) << c.name;
        EXPECT_EQ(widget->isVisible(), c.visible) << c.name;
        if (c.visible && std::string(c.name) != "wbDownload") {
            EXPECT_FALSE(widget->accessibleName().isEmpty()) << c.name;
        }
    }
    // The client area below the menu bar, and nothing the user can resize.
    EXPECT_EQ(window->centralWidget()->size(), QSize(792, 608));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("QOVA - TV and Radio Player"));
    EXPECT_EQ(window->countryList()->accessibleDescription(), QStringLiteral("Country"));
}

TEST(MainWindow, MenusColoursAndFont) {
    useWindowFont();
    testkit::TempFolder folder;
    auto window = makeWindow(folder);
    QStringList menus;
    for (QAction* menu : window->menuBar()->actions()) {
        menus << menu->text();
        for (QAction* item : menu->menu()->actions())
            menus << item->text();
    }
    EXPECT_EQ(menus, (QStringList{"&File", "&Exit", "&Help", "Contact &Us", "&About",
                                  QString::fromUtf8("About &QOVA \u2013 TV and Radio Player")}));
    EXPECT_EQ(window->centralWidget()->palette().color(QPalette::Window), QColor(76, 76, 76));
    EXPECT_EQ(window->centralWidget()->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(window->countryList()->palette().color(QPalette::Base), QColor(204, 204, 204));
    EXPECT_EQ(window->countryList()->palette().color(QPalette::Text), QColor(76, 76, 76));
    const QFontInfo font(window->font());
    EXPECT_EQ(font.family(), QStringLiteral("Tahoma"));
    EXPECT_NEAR(font.pointSizeF(), 8.25, 0.5);
}

}  // namespace
}  // namespace qova::ui
