#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qova::guide {

/// The most a guide may take once uncompressed; a larger one (or a compression bomb) is cut.
inline constexpr std::uint64_t kMaxGuideBytes = std::uint64_t{2} * 1024 * 1024 * 1024;

/// A guide file read a piece at a time, uncompressed as it goes: gzip and xz told by their first
/// bytes, whatever the file is named, plain text otherwise. Nothing of it is held beyond a piece.
class GuideInput {
  public:
    enum class Status { More, End, Broken, TooLarge };

    /// Opens a regular file; nothing (with why in error) for anything else or what cannot be read.
    static std::unique_ptr<GuideInput> open(const std::string& path, std::string& error,
                                            std::uint64_t maxBytes = kMaxGuideBytes);
    virtual ~GuideInput() = default;

    /// Up to size uncompressed bytes into buffer: More with count set (perhaps 0), or End, or why
    /// it stopped: Broken for a cut or damaged file, TooLarge past the bound.
    virtual Status read(char* buffer, std::size_t size, std::size_t& count) = 0;
};

}  // namespace qova::guide
