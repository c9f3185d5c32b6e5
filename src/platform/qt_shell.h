#pragma once

#include "platform/shell.h"

namespace qova::platform {

/// Opens addresses with the desktop's default programs.
class QtShell : public Shell {
  public:
    void open(const std::string& address) override;
};

}  // namespace qova::platform
