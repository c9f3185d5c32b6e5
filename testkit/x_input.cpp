#include "testkit/x_input.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <vector>

namespace qova::testkit {

XInput::XInput() {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) {
        why_ = QStringLiteral("no X display");
        return;
    }
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display_, &event, &error, &major, &minor))
        why_ = QStringLiteral("the X display has no XTest extension");
}

XInput::~XInput() {
    if (display_ != nullptr)
        XCloseDisplay(display_);
}

void XInput::sync() {
    XSync(display_, False);
}

void XInput::moveTo(QPoint at) {
    XTestFakeMotionEvent(display_, -1, at.x(), at.y(), CurrentTime);
    sync();
}

void XInput::button(int number, bool down) {
    XTestFakeButtonEvent(display_, static_cast<unsigned>(number), down ? True : False, CurrentTime);
}

void XInput::click(QPoint at, int number) {
    moveTo(at);
    button(number, true);
    button(number, false);
    sync();
}

void XInput::doubleClick(QPoint at) {
    moveTo(at);
    for (int i = 0; i < 2; ++i) {
        button(1, true);
        button(1, false);
    }
    sync();
}

void XInput::wheel(QPoint at, int notches) {
    moveTo(at);
    // X gives the wheel as buttons: 4 turns it up, 5 down.
    const int number = notches > 0 ? 4 : 5;
    for (int i = 0; i < (notches > 0 ? notches : -notches); ++i) {
        button(number, true);
        button(number, false);
    }
    sync();
}

void XInput::key(const char* keysym, std::initializer_list<const char*> modifiers) {
    std::vector<KeyCode> held;
    for (const char* modifier : modifiers)
        held.push_back(XKeysymToKeycode(display_, XStringToKeysym(modifier)));
    const KeySym symbol = XStringToKeysym(keysym);
    const KeyCode code = XKeysymToKeycode(display_, symbol);
    // A symbol on a key's second level ("plus" over "equal") needs Shift, as a person holds it.
    if (XkbKeycodeToKeysym(display_, code, 0, 0) != symbol &&
        XkbKeycodeToKeysym(display_, code, 0, 1) == symbol)
        held.push_back(XKeysymToKeycode(display_, XStringToKeysym("Shift_L")));
    for (KeyCode modifier : held)
        XTestFakeKeyEvent(display_, modifier, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        XTestFakeKeyEvent(display_, *it, False, CurrentTime);
    sync();
}

void XInput::closeWindow(std::uintptr_t window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(window);
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, static_cast<Window>(window), False, NoEventMask, &event);
    sync();
}

}  // namespace qova::testkit
