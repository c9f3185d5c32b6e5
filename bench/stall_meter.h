#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>

/// The longest gap between two turns of the Qt thread's event loop while it lives.
class StallMeter {
  public:
    StallMeter() {
        clock_.start();
        QObject::connect(&tick_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
        tick_.start(0);
    }
    double longestMs() const { return static_cast<double>(longest_) / 1e6; }

  private:
    QTimer tick_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};
