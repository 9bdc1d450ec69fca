#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace crel {

// Writes one piece of a larger deflate stream (RFC 1951) so that pieces made
// independently, on any thread, can be concatenated byte by byte: every piece
// is a run of non-final blocks ending on a byte boundary. The piece may refer
// back into bytes that earlier pieces of the same stream carry, which keeps
// the ratio close to a single-threaded encoder at piece boundaries.
//
// Greedy LZ77 with one hash probe per position (repeats of four bytes or more,
// which is what screenshots are made of) and one dynamic Huffman block fitted
// to the piece's own symbols; stored blocks when those would be smaller.
// The output depends only on the input bytes.
class DeflateEncoder {
public:
  DeflateEncoder();

  // Encodes data[history, size) and appends the blocks to out. data[0, history)
  // must be the bytes that immediately precede this piece in the stream; only
  // its last 32 KiB are used. data must stay readable for 8 bytes past size.
  void encode(const std::uint8_t *data, std::size_t history, std::size_t size, std::vector<std::uint8_t> &out);

  // Padding a caller must leave readable after the data it passes.
  static constexpr std::size_t readPadding = 8;
  // The empty final block that closes a stream of pieces (fixed codes, BFINAL set).
  static constexpr std::uint8_t finalBlock[2] = {0x03, 0x00};

private:
  std::vector<std::int32_t> head_;
  std::vector<std::uint32_t> tokens_;
};

} // namespace crel
