#pragma once

#include <string>

namespace qova::state {

/// Texts the main window sets just before it shows a secondary window, which reads them as it
/// loads: the contact window's text and link, and the required-software window's four texts.
struct SharedStrings {
    std::string strCommonText;
    std::string strCommonLink;
    std::string strSoftHeading;
    std::string strSoftCenter;
    std::string strSoftDownload;
    std::string strSoftUrl;
};

}  // namespace qova::state
