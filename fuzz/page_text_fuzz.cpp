// A page the directory browser fetched: its text, as the directory's reader gets it, in the
// encoding the page names.
#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "web/network_browser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using qova::web::NetworkBrowser;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    NetworkBrowser::textOf(bytes, qova::web::FetchedPage::Kind::Html, {});
    NetworkBrowser::textOf(bytes, qova::web::FetchedPage::Kind::PlainText, {});
    return 0;
}
