#pragma once

#include <cstddef>
#include <cstdint>

namespace crel {

// How the application and crel-heif-decoder, the short-lived process that
// runs libheif on outside data, talk. The file's bytes go to the helper's
// standard input; on success it writes to standard output the magic, then
// width, height, flags and the ICC profile's length as big-endian 32-bit
// numbers, the profile, and width × height RGBA pixels, row after row.
namespace HeifDecoderProtocol {

inline constexpr char magic[8] = {'C', 'R', 'E', 'L', 'H', 'E', 'I', 'F'};
inline constexpr std::size_t headerSize = sizeof magic + 4 * 4;
inline constexpr std::uint32_t hasAlpha = 1, premultiplied = 2;

// Larger inputs are refused unread; no HEIC within the pixel rule comes near.
inline constexpr std::size_t maxInputBytes = std::size_t(512) << 20;
inline constexpr std::size_t maxProfileBytes = std::size_t(4) << 20;

// Everything the helper may take: libheif needs about three times the
// decoded pixels of the largest image the rule allows, plus its threads.
inline constexpr std::uint64_t addressSpaceBytes = std::uint64_t(3) << 30;
inline constexpr unsigned cpuSeconds = 120;

// `crel-heif-decoder --descriptor-limit N`: the soft descriptor limit the
// application was started with, which the helper sets back first.
inline constexpr char descriptorLimitSwitch[] = "--descriptor-limit";

enum Exit : int { decoded = 0, undecodable = 1, tooLarge = 2 };

} // namespace HeifDecoderProtocol

} // namespace crel
