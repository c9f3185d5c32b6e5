#pragma once

// The real main window as the window tests start and work it: on a program folder of the test's
// own, silent, its information pages at a port where nothing answers unless the test names its
// own site; a country chosen and a node clicked as a person does.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>
#include <QTreeWidget>
#include <memory>
#include <string>
#include <vector>

#include "qt/qt_tree_view.h"
#include "testkit/temp_folder.h"
#include "ui/frm_main.h"

namespace qova::testing {

/// How long a window test waits for what must come; only a fault makes it run out.
constexpr int kWindowWaitMs = 10000;

/// A main window's options on this folder, without sound, its site at a closed port.
inline ui::FrmMainOptions windowOptions(const testkit::TempFolder& folder) {
    ui::FrmMainOptions options;
    options.programFolder = folder.path();
    options.site.address = "http://127.0.0.1:9";
    options.audioOutput = "null";
    return options;
}

/// The window loaded and shown, once its directory has been processed.
inline std::unique_ptr<ui::FrmMain> startWindow(ui::FrmMainOptions options) {
    auto window = std::make_unique<ui::FrmMain>(std::move(options));
    window->load();
    window->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->countryList()->count() > 0; }, kWindowWaitMs))
        << "the directory was never processed";
    return window;
}

/// The entries of the country list, "Select Country" first.
inline std::vector<std::string> listedCountries(ui::FrmMain& window) {
    std::vector<std::string> out;
    for (int i = 0; i < window.countryList()->count(); ++i)
        out.push_back(window.countryList()->itemText(i).toStdString());
    return out;
}

/// Chooses a country of the list, as a person does; false when it is not listed.
inline bool chooseCountry(ui::FrmMain& window, const QString& country) {
    QComboBox* list = window.countryList();
    const int index = list->findText(country);
    if (index < 0)
        return false;
    list->setCurrentIndex(index);
    emit list->activated(index);
    return true;
}

/// The names of the tree's nodes, top to bottom.
inline std::vector<std::string> nodeNames(ui::FrmMain& window) {
    std::vector<std::string> out;
    for (int i = 0; i < window.channelTree()->topLevelItemCount(); ++i)
        out.push_back(window.channelTree()->topLevelItem(i)->text(0).toStdString());
    return out;
}

/// Where a node of the tree (numbered from 0) is, in the viewport's coordinates.
inline QRect nodeRect(ui::FrmMain& window, int row) {
    QTreeWidget* tree = window.channelTree();
    return tree->visualItemRect(tree->topLevelItem(row));
}

/// Clicks a node of the tree (numbered from 0) with Qt's own mouse, offscreen as on a display.
inline void clickNode(ui::FrmMain& window, int row) {
    QTest::mouseClick(window.channelTree()->viewport(), Qt::LeftButton, {},
                      nodeRect(window, row).center());
}

}  // namespace qova::testing
