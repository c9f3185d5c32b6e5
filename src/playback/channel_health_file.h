#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qova::playback {

/// Bounds for reading ChannelHealth.txt back, as a user may have edited it.
inline constexpr std::size_t kMaxMarks = 100000;
inline constexpr std::size_t kMaxMarkLineBytes = 8192;

/// Why a channel did not answer, and when.
struct HealthMark {
    std::string when;
    std::string reason;
};
using HealthMarks = std::map<std::string, HealthMark, std::less<>>;

/// ChannelHealth.txt: one mark a line, address, time and reason separated by tabs. A line
/// without an address before its first tab, or longer than kMaxMarkLineBytes, marks nothing, and
/// nothing after the first kMaxMarks addresses is read; a later line of an address overrides an
/// earlier one. Every line is kept, so that the program's rewrites leave what a user wrote in its
/// place.
class HealthFile {
  public:
    /// The file's text, its byte-order mark taken off already.
    static HealthFile read(std::string_view text);

    /// The marks read.
    const HealthMarks& marks() const { return marks_; }

    /// The file for the marks given: each mark at the place of the first line of its address (as
    /// it was written where the mark is the same), the lines of marks taken away gone, every
    /// other line in its place, new marks at the end. A mark is written within
    /// kMaxMarkLineBytes, its reason cut where it must be; one whose address alone is too long to
    /// be read back is not written.
    HealthFile written(const HealthMarks& marks) const;

    /// The file's text, each line ended by CR LF.
    std::string text() const;

  private:
    struct Line {
        std::string text;
        std::string address;  // "" for a line that marks nothing
        HealthMark mark;      // what the line says of its address
    };
    std::vector<Line> lines_;
    HealthMarks marks_;
};

}  // namespace qova::playback
