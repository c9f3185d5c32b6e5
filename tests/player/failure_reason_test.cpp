// What the player area says of a server that answered with an error: its status line as the
// server sent it, but as plain words on one line, cut between characters.
#include "player/failure_reason.h"

#include <gtest/gtest.h>
#include <mpv/client.h>

namespace qova::player {
namespace {

const EngineErrorWords kWords = [](int) { return "loading failed"; };

std::string reasonFor(const std::string& logged) {
    return failureReason(MPV_ERROR_LOADING_FAILED, {"ffmpeg: tcp: Connection refused\n", logged},
                         kWords);
}

TEST(FailureReason, AServersStatusLineReadsAsPlainWordsOnOneLineCutBetweenCharacters) {
    EXPECT_EQ(reasonFor("ffmpeg: http: HTTP error 503 Service Unavailable\n"),
              "the server answered 503 Service Unavailable");
    // Control characters (a terminal's colours among them) become spaces; a status that is not
    // UTF-8 reads as Windows-1252, as stations that predate UTF-8 send it.
    EXPECT_EQ(reasonFor("ffmpeg: http: HTTP error 400 Bad\x1b[31m\tRequest\r\n"),
              "the server answered 400 Bad [31m Request");
    EXPECT_EQ(reasonFor("ffmpeg: http: HTTP error 403 Interdit \xe0 l'\xe9tranger\n"),
              "the server answered 403 Interdit à l'étranger");
    // At most 40 bytes of it, never half a character.
    EXPECT_EQ(reasonFor("ffmpeg: http: HTTP error 503 Dienst vorübergehend überlastet – später\n"),
              "the server answered 503 Dienst vorübergehend überlastet");
    EXPECT_EQ(endFileMessage(MPV_END_FILE_REASON_ERROR, MPV_ERROR_LOADING_FAILED,
                             {"ffmpeg: http: HTTP error 404 \x01Not Found\n"}, kWords),
              "The stream cannot be played: the server has no stream at this address (404).");
}

}  // namespace
}  // namespace qova::player
