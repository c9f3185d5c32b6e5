#pragma once

#include <QPoint>
#include <QString>
#include <cstdint>
#include <initializer_list>

struct _XDisplay;

namespace qova::testkit {

/// A person's mouse and keyboard on the X display the test runs on: input made by the X server
/// itself (the XTest extension, on a connection of its own), which reaches the program through
/// the same window hierarchy, input shapes and keyboard focus as real input does. Positions are
/// in screen pixels (QWidget::mapToGlobal). Every call returns once the server has taken the
/// input; the program sees it only when its event loop next runs.
class XInput {
  public:
    XInput();
    ~XInput();
    XInput(const XInput&) = delete;
    XInput& operator=(const XInput&) = delete;

    /// Empty when the display and its XTest extension can be used; otherwise why not.
    const QString& why() const { return why_; }

    void moveTo(QPoint at);
    void click(QPoint at, int button = 1);
    void doubleClick(QPoint at);
    /// Turns the wheel by whole notches, up (positive) or down.
    void wheel(QPoint at, int notches);
    /// Presses and releases a key, given as an X keysym name ("space", "Next", "Escape", "m",
    /// "plus", "KP_Add"), holding the named modifiers ("Control_L", "Alt_L") around it.
    void key(const char* keysym, std::initializer_list<const char*> modifiers = {});
    /// Asks a window to close as a window manager does for its close box or Alt+F4: the
    /// WM_DELETE_WINDOW message of the ICCCM.
    void closeWindow(std::uintptr_t window);

  private:
    void button(int number, bool down);
    void sync();

    _XDisplay* display_ = nullptr;
    QString why_;
};

}  // namespace qova::testkit
