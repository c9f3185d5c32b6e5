// The main function of tests that run real Qt controls: an application object on Qt's offscreen
// platform, unless the test asks for the display and the test command provides one (Xvfb).
#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
// On a real display the OpenGL driver and D-Bus keep a few allocations to the end, which the
// leak checker would report against us; memory errors are still caught there, and every test
// that runs offscreen keeps its leak check.
extern "C" int __lsan_is_turned_off() {
    return qEnvironmentVariableIsSet("QOVA_TEST_ON_DISPLAY");
}
#endif

namespace {

// ctest ends a test that outlives its limit without a word of where it stood. Ten seconds
// before that, every thread's stack goes to the test's output (through gdb, when the machine
// has it), so that a hang seen once in many runs can be found.
void writeStacksBeforeTheLimit() {
    const int limit = qEnvironmentVariableIntValue("QOVA_TEST_TIMEOUT");
    if (limit <= 20)
        return;
    std::thread([limit] {
        std::this_thread::sleep_for(std::chrono::seconds(limit - 10));
        std::fprintf(stderr, "\nStill running after %d s; the stacks of its threads:\n",
                     limit - 10);
        const std::string command = "gdb -p " + std::to_string(getpid()) +
                                    " -batch -ex 'thread apply all bt' 1>&2 2>/dev/null";
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "(gdb could not tell them)\n");
    }).detach();
}

}  // namespace

int main(int argc, char** argv) {
    writeStacksBeforeTheLimit();
    const bool onDisplay = qEnvironmentVariableIsSet("QOVA_TEST_ON_DISPLAY") &&
                           !qEnvironmentVariableIsEmpty("DISPLAY");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !onDisplay) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Nothing is asked of the public channel sources while testing: a test that does not point
    // them at its own stand-ins (a window opened by a test of every menu command, say) finds
    // nothing listening on 127.0.0.1 instead.
    for (const char* source : {"QOVA_RADIO_API", "QOVA_TV_API"}) {
        if (!qEnvironmentVariableIsSet(source))
            qputenv(source, "http://127.0.0.1:9");
    }
    QApplication app(argc, argv);
    // As the program's main() does: libmpv needs it for as long as an engine runs.
    std::setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
