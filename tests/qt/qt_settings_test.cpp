// The settings file as the program keeps it: a run of changes is one write, and nothing set is
// lost when the program ends normally.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <memory>

#include "qt/qt_settings.h"
#include "testkit/temp_folder.h"

namespace qova::qt {
namespace {

TEST(QtSettings, ARunOfChangesIsWrittenOnceItStopsAndWhatIsLeftWhenTheObjectGoes) {
    const testkit::TempFolder folder;
    const std::string file = folder.file("settings.ini");
    auto settings = std::make_unique<QtSettings>(file);
    EXPECT_EQ(settings->intValue("volume", 100), 100);
    // Wheel steps: each is seen at once, none waits for the disk.
    for (int volume = 95; volume >= 60; volume -= 5)
        settings->setIntValue("volume", volume);
    settings->setIntValue("muted", 1);
    EXPECT_EQ(settings->intValue("volume", 100), 60);
    EXPECT_EQ(settings->intValue("muted", 0), 1);
    EXPECT_FALSE(folder.read("settings.ini")) << "written at a step";
    settings.reset();  // as the window goes at the end of a run
    const std::string written = folder.read("settings.ini").value_or("");
    EXPECT_NE(written.find("volume=60"), std::string::npos) << written;
    EXPECT_NE(written.find("muted=1"), std::string::npos) << written;

    // The next run reads them; a value that stays put is written without waiting for the end.
    QtSettings next(file, 10);
    EXPECT_EQ(next.intValue("volume", 100), 60);
    next.setIntValue("volume", 65);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return folder.read("settings.ini").value_or("").find("volume=65") != std::string::npos;
        },
        5000));
    // And at the application's end, also where the object outlives it.
    QtSettings last(file);
    last.setIntValue("volume", 70);
    ASSERT_TRUE(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
    EXPECT_NE(folder.read("settings.ini").value_or("").find("volume=70"), std::string::npos);
}

TEST(QtSettings, ADefaultRidesWithTheNextWriteAndIsNeverWrittenAlone) {
    const testkit::TempFolder folder;
    const std::string file = folder.file("settings.ini");
    {
        QtSettings settings(file);
        settings.setIntValueWithNextWrite("equalLoudness", 1);
        EXPECT_EQ(settings.intValue("equalLoudness", 0), 1);
    }
    EXPECT_FALSE(folder.read("settings.ini")) << "a run that changed nothing wrote a file";
    {
        QtSettings settings(file);
        settings.setIntValueWithNextWrite("equalLoudness", 1);
        settings.setIntValueWithNextWrite("prepareNeighbours", 1);
        settings.setIntValue("prepareNeighbours", 0);
        settings.setIntValue("volume", 80);
    }
    const std::string written = folder.read("settings.ini").value_or("");
    EXPECT_NE(written.find("equalLoudness=1"), std::string::npos) << written;
    EXPECT_NE(written.find("prepareNeighbours=0"), std::string::npos) << written;
    // Once in the file, the file's value stands.
    QtSettings again(file);
    again.setIntValueWithNextWrite("prepareNeighbours", 1);
    EXPECT_EQ(again.intValue("prepareNeighbours", 1), 0);
}

}  // namespace
}  // namespace qova::qt
