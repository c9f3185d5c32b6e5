// A page the directory browser fetched: its text, as the directory's reader gets it, in the
// encoding the page names.
#include <QByteArray>
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "web/network_browser.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Laying a page out needs fonts, and so an application; none needs a screen.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using qova::web::NetworkBrowser;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    NetworkBrowser::textOf(bytes, qova::web::FetchedPage::Kind::Html, {});
    NetworkBrowser::textOf(bytes, qova::web::FetchedPage::Kind::PlainText, {});
    return 0;
}
