#pragma once

#include <lzma.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "guide/guide_build.h"
#include "guide/guide_store.h"
#include "testkit/temp_folder.h"

namespace qova::guide::test {

/// 2026-12-07 20:00 UTC, the "now" the guides below are written around.
inline constexpr UnixTime kNow = 1796673600;

inline std::string gzipped(const std::string& text) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

inline std::string xzCompressed(const std::string& text) {
    std::string out(lzma_stream_buffer_bound(text.size()), '\0');
    std::size_t size = 0;
    lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr,
                            reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                            reinterpret_cast<std::uint8_t*>(out.data()), &size, out.size());
    out.resize(size);
    return out;
}

/// A guide file and the store built from it, in a folder of the test's own.
struct GuideFixture {
    testkit::TempFolder folder;
    std::vector<ChannelHint> channels;
    std::map<std::string, std::string> chosen;

    BuildResult build(const std::vector<std::string>& guides) {
        BuildRequest request;
        for (std::size_t i = 0; i < guides.size(); ++i) {
            const std::string name = "guide" + std::to_string(i);
            folder.write(name, guides[i]);
            request.guideFiles.push_back(folder.file(name));
        }
        request.channels = channels;
        request.chosen = chosen;
        request.lists.push_back({"list", {}});
        for (std::uint32_t i = 0; i < channels.size(); ++i)
            request.lists.back().channels.push_back(i);
        request.now = kNow;
        request.storePath = folder.file(kGuideStoreFile);
        return BuildGuideStore(request);
    }
    std::unique_ptr<GuideStore> store() const {
        return GuideStore::open(folder.file(kGuideStoreFile));
    }
    /// The title running at a moment on a channel, "" for none.
    std::string titleAt(const std::string& channel, UnixTime at) const {
        const auto s = store();
        if (!s)
            return "<no store>";
        const auto now = s->nowNext(channel, at).now;
        return now ? std::string(now->title) : "";
    }
};

/// "20261207hhmmss +0000" around kNow's day.
inline std::string at(int hour, int minute = 0, const char* zone = "+0000") {
    char text[32];
    std::snprintf(text, sizeof text, "202612%02d%02d%02d00 %s", 7 + hour / 24, hour % 24, minute,
                  zone);
    return text;
}

inline std::string programme(const std::string& channel, const std::string& start,
                             const std::string& stop, const std::string& title,
                             const std::string& extra = "") {
    return "<programme start=\"" + start + "\"" + (stop.empty() ? "" : " stop=\"" + stop + "\"") +
           " channel=\"" + channel + "\"><title>" + title + "</title>" + extra + "</programme>\n";
}

inline std::string tv(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tv>\n" + body + "</tv>\n";
}

}  // namespace qova::guide::test
