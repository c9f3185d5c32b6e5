#pragma once

#include <fstream>
#include <string>

namespace qova::testing {

/// Whether a file whose path holds `name` (a library, say) is mapped into this process.
inline bool processMaps(const std::string& name) {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        if (line.find(name) != std::string::npos)
            return true;
    }
    return false;
}

}  // namespace qova::testing
