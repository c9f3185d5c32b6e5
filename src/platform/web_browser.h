#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qova::platform {

/// A web browser control. Navigation returns at once; DocumentComplete and NavigateError are
/// raised later, from the event loop of the UI thread, never inside Navigate. A navigation that
/// fails raises NavigateError and then the DocumentComplete of the control's own error page. A
/// later Navigate replaces one still under way: the replaced one raises nothing more.
class WebBrowser {
  public:
    static constexpr int kReadyStateUninitialized = 0;
    static constexpr int kReadyStateLoading = 1;
    static constexpr int kReadyStateComplete = 4;

    /// The status code for a server that cannot be reached (host not found, connection refused,
    /// no answer in time, TLS failure).
    static constexpr std::int32_t kStatusResourceNotFound = -2146697211;
    /// The status code for a transfer that broke off after it had started.
    static constexpr std::int32_t kStatusDownloadFailure = -2146697208;

    virtual ~WebBrowser() = default;

    /// Loads an address: http, https or file, or "about:" followed by the page's markup.
    virtual void navigate(const std::string& address) = 0;
    /// Loads a plain local file path as a page.
    virtual void navigate2(const std::string& filePath) = 0;

    virtual int readyState() const = 0;
    virtual bool hasDocument() const = 0;
    /// The text of the document's body, every line break given as CR LF.
    virtual const std::string& bodyText() const = 0;
    virtual std::string title() const = 0;

    /// Work on every page's text before its DocumentComplete, such as turning a list into
    /// directory lines: a function of the text alone, run away from the UI thread where the page
    /// is large. It tells whether the page holds what its caller looks for (for the directory, a
    /// channel), and textFound() keeps that with the page, so that nothing reads a large page
    /// again on the UI thread to learn it. Controls that show their pages take none.
    using TextTransform = std::function<bool(std::string& text)>;
    virtual void setTextTransform(TextTransform transform) { (void)transform; }
    /// What the transform told of the document's text; true where there is none.
    virtual bool textFound() const { return true; }

    std::function<void(const std::string& url)> onDocumentComplete;
    std::function<void(const std::string& url, std::int32_t statusCode)> onNavigateError;
};

}  // namespace qova::platform
