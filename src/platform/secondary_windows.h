#pragma once

namespace qova::platform {

/// The small windows shown over the main window. Each is shown modally: the call returns when
/// the user has closed it. Each loads its texts anew at every showing.
class SecondaryWindows {
  public:
    virtual ~SecondaryWindows() = default;
    /// The contact window.
    virtual void showCommon() = 0;
    virtual void showAbout() = 0;
    /// The window naming a player that a channel needs and linking to its download page.
    virtual void showSoftRequired() = 0;
};

}  // namespace qova::platform
