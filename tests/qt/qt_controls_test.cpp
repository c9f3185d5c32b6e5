// The real Qt controls, offscreen: the events they raise, and where they raise none.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include "qt/qt_combo_box.h"
#include "qt/qt_picture_button.h"
#include "qt/qt_tree_view.h"

namespace qova::qt {
namespace {

const platform::Colour kGrey = platform::Colour::rgb(204, 204, 204);
const platform::Colour kText = platform::Colour::rgb(76, 76, 76);

TEST(QtComboBox, FillingRaisesNothingAndSelectingRaisesOneClick) {
    QComboBox widget;
    QtComboBox list(&widget, false, kGrey, kText);
    int clicks = 0;
    list.onClick = [&] { ++clicks; };
    list.addItem("France");
    list.addItem("Italy");
    EXPECT_EQ(list.listIndex(), -1);  // adding selects nothing
    list.insertItem(0, "Select Country");
    EXPECT_EQ(clicks, 0);
    list.setListIndex(0);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(list.text(), "Select Country");
    list.setListIndex(2);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(list.text(), "Italy");
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.text(), "");
    EXPECT_EQ(clicks, 2);

    // A user's choice raises Click too, once.
    list.addItem("A");
    list.addItem("B");
    widget.show();
    widget.setFocus();
    QTest::keyClick(&widget, Qt::Key_Down);
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(list.text(), "A");
}

TEST(QtComboBox, ASortedListPlacesAddedEntriesAndKeepsInsertedOnes) {
    QComboBox widget;
    QtComboBox list(&widget, true, kGrey, kText);
    for (const char* name : {"italy", "Austria", "Österreich", "belgium", "Zambia"})
        list.addItem(name);
    list.insertItem(0, "Select Country");
    std::vector<std::string> shown;
    for (int i = 0; i < list.count(); ++i)
        shown.push_back(list.itemText(i));
    EXPECT_EQ(shown, (std::vector<std::string>{"Select Country", "Austria", "belgium", "italy",
                                               "Österreich", "Zambia"}));
    // Entries keep their bytes, also those that are no UTF-8.
    list.addItem("\xff\xfe");
    list.setListIndex(list.count() - 1);
    EXPECT_EQ(list.text(), "\xff\xfe");
    EXPECT_EQ(list.backColour(), kGrey);
    EXPECT_EQ(widget.palette().color(QPalette::Base), QColor(204, 204, 204));
}

// Filling puts every entry where adding them one by one would, in one go, raising nothing.
TEST(QtComboBox, AFillPlacesEntriesAsAddingThemWouldAndRaisesNothing) {
    const std::vector<std::string> countries = {"italy",  "Austria",      "\xC3\x96sterreich",
                                                "Italy",  "belgium",      "\xff\xfe",
                                                "Zambia", "\xC3\x89gypte"};
    for (const bool sorted : {true, false}) {
        QComboBox addedWidget;
        QtComboBox added(&addedWidget, sorted, kGrey, kText);
        for (const std::string& country : countries)
            added.addItem(country);
        QComboBox filledWidget;
        QtComboBox filled(&filledWidget, sorted, kGrey, kText);
        int clicks = 0;
        filled.onClick = [&] { ++clicks; };
        filled.addItem("gone");
        filled.setListIndex(0);
        filled.fill(countries);
        EXPECT_EQ(clicks, 1);
        EXPECT_EQ(filled.listIndex(), -1);
        ASSERT_EQ(filled.count(), added.count());
        for (int i = 0; i < filled.count(); ++i) {
            EXPECT_EQ(filled.itemText(i), added.itemText(i)) << i;
            EXPECT_EQ(filledWidget.itemText(i), addedWidget.itemText(i)) << i;
        }
        filled.insertItem(0, "Select Country");
        filled.setListIndex(0);
        EXPECT_EQ(filled.text(), "Select Country");
        EXPECT_EQ(filled.itemText(1), sorted ? "Austria" : "italy");
    }
}

class QtTreeViewTest : public ::testing::Test {
  protected:
    static std::array<QIcon, 2> makeStars() {
        QPixmap star(16, 16);
        star.fill(Qt::yellow);
        return {QIcon(star), QIcon(star)};
    }
    QtTreeViewTest() : stars(makeStars()), tree(&widget, stars) {
        widget.resize(200, 300);
        widget.show();
        tree.onClick = [this] { selectedAtClick.push_back(tree.selectedIndex()); };
    }
    QPoint nodeCentre(int index) {
        return widget.visualItemRect(widget.topLevelItem(index - 1)).center();
    }
    std::array<QIcon, 2> stars;
    FlatTreeWidget widget;
    QtTreeView tree;
    std::vector<int> selectedAtClick;
};

TEST_F(QtTreeViewTest, NodesAreNumberedFromOneAndMoveDownOnRemoval) {
    for (const char* name : {"A", "B", "C"})
        tree.addNode(name, 0);
    EXPECT_EQ(tree.addNode("D", 2), 4);
    tree.removeNode(2);
    ASSERT_EQ(tree.nodeCount(), 3);
    EXPECT_EQ(tree.nodeText(2), "C");
    EXPECT_EQ(tree.nodeImage(3), 2);
    tree.setNodeImage(1, 2);
    tree.setNodeBackColour(1, platform::Colour::system(platform::kSystemColourHighlight));
    tree.setNodeForeColour(1, kText);
    EXPECT_EQ(tree.nodeBackColour(1), platform::Colour::system(platform::kSystemColourHighlight));
    EXPECT_EQ(widget.topLevelItem(0)->background(0).color(),
              widget.palette().color(QPalette::Highlight));
    EXPECT_EQ(tree.nodeForeColour(1), kText);
    // Stars show once the image list is attached.
    EXPECT_TRUE(widget.topLevelItem(0)->icon(0).isNull());
    tree.attachImageList();
    EXPECT_EQ(widget.topLevelItem(0)->icon(0).cacheKey(), stars[1].cacheKey());
    EXPECT_NE(widget.topLevelItem(1)->icon(0).cacheKey(), stars[1].cacheKey());
    tree.setBackColour(kGrey);
    EXPECT_EQ(widget.palette().color(QPalette::Base), QColor(204, 204, 204));
    tree.setDisplayEnabled(false);
    EXPECT_FALSE(widget.updatesEnabled());
    tree.setDisplayEnabled(true);
    EXPECT_TRUE(widget.updatesEnabled());
    // A node that is not there changes nothing.
    tree.removeNode(9);
    tree.setNodeImage(0, 2);
    EXPECT_EQ(tree.nodeCount(), 3);
}

TEST_F(QtTreeViewTest, ClickIsRaisedAfterTheSelectionAlsoOnEmptySpace) {
    for (const char* name : {"A", "B", "C"})
        tree.addNode(name, 0);
    tree.selectNode(1);
    EXPECT_EQ(tree.selectedIndex(), 1);
    EXPECT_TRUE(selectedAtClick.empty());  // selecting from code raises nothing

    QTest::mouseClick(widget.viewport(), Qt::LeftButton, {}, nodeCentre(3));
    QTest::mouseClick(widget.viewport(), Qt::LeftButton, {}, QPoint(100, 280));
    QTest::mouseClick(widget.viewport(), Qt::RightButton, {}, nodeCentre(2));
    EXPECT_EQ(selectedAtClick, (std::vector<int>{3, 3}));
    EXPECT_EQ(tree.selectedIndex(), 3);
}

TEST(QtPictureButton, PicturesPassFromButtonToButton) {
    QPushButton addWidget, removeWidget, favouriteWidget;
    auto add = std::make_shared<QtPicture>(QIcon(), QSize(31, 31));
    auto remove = std::make_shared<QtPicture>(QIcon(), QSize(31, 31));
    QtPictureButton addFav(&addWidget, add), removeFav(&removeWidget, remove);
    QtPictureButton favourite(&favouriteWidget, addFav.picture());
    int clicks = 0;
    favourite.onClick = [&] { ++clicks; };
    favourite.setPicture(removeFav.picture());
    EXPECT_EQ(favourite.picture(), removeFav.picture());
    EXPECT_EQ(favouriteWidget.iconSize(), QSize(31, 31));
    favouriteWidget.click();
    EXPECT_EQ(clicks, 1);
}

}  // namespace
}  // namespace qova::qt
