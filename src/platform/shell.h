#pragma once

#include <string>

namespace qova::platform {

/// Opens an address outside the program: web pages in the user's default browser, "mailto:"
/// addresses in the mail program. Failures are not reported.
class Shell {
  public:
    virtual ~Shell() = default;
    virtual void open(const std::string& address) = 0;
};

}  // namespace qova::platform
