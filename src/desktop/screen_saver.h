#pragma once

#include <QObject>
#include <optional>

#include "platform/desktop.h"

namespace qova::desktop {

/// Holds the screen saver off through the desktop's org.freedesktop.ScreenSaver service on the
/// session bus. Calls never wait for the desktop: the cookie of an inhibition comes back later,
/// and an uninhibit asked for before it came is done once it comes. Without a session bus, or
/// without such a service, nothing happens.
class ScreenSaver : public QObject, public platform::ScreenSaver {
    Q_OBJECT

  public:
    explicit ScreenSaver(QObject* parent = nullptr);
    ~ScreenSaver() override;

    void inhibit(const std::string& reason) override;
    void uninhibit() override;

  private:
    void release(quint32 cookie);

    bool wanted_ = false;
    bool asking_ = false;
    std::optional<quint32> cookie_;
};

}  // namespace qova::desktop
