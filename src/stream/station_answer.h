#pragma once

#include <string_view>

#include "stream/stream_relay.h"

namespace qova::stream {

/// Reads the head of a station's answer (status line and header fields, without the blank line
/// that ends it): "HTTP/1.x 200" and SHOUTcast's "ICY 200" alike. The tape takes a 200 answer
/// of sound (audio/..., application/ogg) or MPEG-TS pictures that is not chunked.
StationAnswer readStationAnswer(std::string_view head);

}  // namespace qova::stream
