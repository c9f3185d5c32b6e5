#pragma once

#include <cstdint>

namespace qova::platform {

/// A colour as the controls take it: either an RGB value (red in the low byte) or one of the
/// desktop's system colours, which the control resolves when it paints.
class Colour {
  public:
    static constexpr Colour rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        return Colour(static_cast<std::uint32_t>(r) | (static_cast<std::uint32_t>(g) << 8) |
                      (static_cast<std::uint32_t>(b) << 16));
    }
    static constexpr Colour system(int index) {
        return Colour(kSystemFlag | static_cast<std::uint32_t>(index));
    }
    static constexpr Colour fromValue(std::uint32_t value) { return Colour(value); }

    constexpr std::uint32_t value() const { return value_; }
    constexpr bool isSystem() const { return (value_ & kSystemFlag) != 0; }
    constexpr int systemIndex() const { return static_cast<int>(value_ & 0xFFu); }
    constexpr int red() const { return static_cast<int>(value_ & 0xFFu); }
    constexpr int green() const { return static_cast<int>((value_ >> 8) & 0xFFu); }
    constexpr int blue() const { return static_cast<int>((value_ >> 16) & 0xFFu); }

    friend constexpr bool operator==(Colour, Colour) = default;

  private:
    static constexpr std::uint32_t kSystemFlag = 0x80000000u;
    constexpr explicit Colour(std::uint32_t value) : value_(value) {}
    std::uint32_t value_ = 0;
};

/// The desktop's selection highlight colour.
inline constexpr int kSystemColourHighlight = 13;

}  // namespace qova::platform
