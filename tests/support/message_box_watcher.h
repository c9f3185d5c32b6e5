#pragma once

#include <QTimer>
#include <string>
#include <vector>

namespace qova::testing {

/// Watches for modal message boxes while a test runs the event loop, notes what each one said
/// and presses its OK button, as a user would.
class MessageBoxWatcher {
  public:
    struct Seen {
        std::string text;
        std::string caption;
        bool exclamation;
        int buttons;
    };

    MessageBoxWatcher();
    const std::vector<Seen>& seen() const { return seen_; }
    std::vector<std::string> texts() const;

  private:
    void look();
    QTimer timer_;
    std::vector<Seen> seen_;
};

}  // namespace qova::testing
