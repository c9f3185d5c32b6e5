// The main function of tests that run real Qt controls: an application object on Qt's offscreen
// platform, unless the test asks for the display and the test command provides one (Xvfb).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    const bool onDisplay = qEnvironmentVariableIsSet("QOVA_TEST_ON_DISPLAY") &&
                           !qEnvironmentVariableIsEmpty("DISPLAY");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !onDisplay) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
