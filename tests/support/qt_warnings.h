#pragma once

// Qt's warnings and worse, noted while a QtWarnings lives, from whatever thread raised them: for
// tests where a warning is itself a fault.

#include <QtGlobal>
#include <mutex>
#include <string>
#include <vector>

namespace qova::testing {

class QtWarnings {
  public:
    QtWarnings() { previous_ = qInstallMessageHandler(&record); }
    ~QtWarnings() { qInstallMessageHandler(previous_); }
    QtWarnings(const QtWarnings&) = delete;
    QtWarnings& operator=(const QtWarnings&) = delete;

    std::vector<std::string> seen() const {
        const std::lock_guard lock(mutex_);
        return messages_;
    }

  private:
    static void record(QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtDebugMsg || type == QtInfoMsg)
            return;
        const std::lock_guard lock(mutex_);
        messages_.push_back(text.toStdString());
    }

    QtMessageHandler previous_;
    static inline std::mutex mutex_;
    static inline std::vector<std::string> messages_;
};

}  // namespace qova::testing
