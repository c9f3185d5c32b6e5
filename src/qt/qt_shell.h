#pragma once

#include "platform/shell.h"

namespace qova::qt {

/// Opens addresses with the desktop's default programs.
class QtShell : public platform::Shell {
  public:
    void open(const std::string& address) override;
};

}  // namespace qova::qt
