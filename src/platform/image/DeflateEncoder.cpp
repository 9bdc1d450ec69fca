#include "DeflateEncoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace crel {

namespace {

constexpr int windowSize = 32768;
constexpr int minMatch = 4;
// Under codes fitted to the block a short match costs more than its literals
// unless it repeats the pixel just before (distance up to 4 bytes); measured on
// photographs this rule alone saves 14 %, on screenshots it costs nothing.
constexpr std::int64_t nearDistance = 4;
constexpr std::size_t minFarMatch = 12;
constexpr int maxMatch = 258;
constexpr int hashBits = 15;
constexpr std::int32_t emptySlot = -(1 << 30);
// Bytes per dynamic block: bounds the token buffer and lets the codes follow
// the content down the image.
constexpr std::size_t blockBytes = std::size_t(1) << 20;

constexpr int litLenSymbols = 286;
constexpr int distSymbols = 30;
constexpr int codeLengthSymbols = 19;
constexpr int maxCodeLength = 15;
constexpr int maxCodeLengthCodeLength = 7;
constexpr int endOfBlock = 256;

constexpr std::array<std::uint16_t, 29> lengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> lengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint8_t, codeLengthSymbols> codeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                         11, 4,  12, 3, 13, 2, 14, 1, 15};

// Length 3..258 -> index into lengthBase (symbol = 257 + index).
struct LengthTable {
  std::array<std::uint8_t, maxMatch + 1> code{};
  constexpr LengthTable() {
    for (int i = 0; i < 29; ++i) {
      const int last = i + 1 < 29 ? lengthBase[i + 1] - 1 : maxMatch;
      for (int len = lengthBase[i]; len <= last && len <= maxMatch; ++len)
        code[len] = std::uint8_t(i);
    }
    code[maxMatch] = 28; // 258 has its own symbol, never 284 with all extra bits set
  }
};
constexpr LengthTable lengthTable;

inline int distanceCode(std::uint32_t distMinusOne) {
  if (distMinusOne < 4)
    return int(distMinusOne);
  const int high = 31 - std::countl_zero(distMinusOne);
  return 2 * high + int((distMinusOne >> (high - 1)) & 1);
}

inline std::uint32_t load32(const std::uint8_t *p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline std::uint64_t load64(const std::uint8_t *p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline std::uint32_t hash4(std::uint32_t v) { return (v * 2654435761u) >> (32 - hashBits); }

// Code lengths of an optimal prefix code limited to maxLength bits. Symbols
// with zero frequency get no code; a lone symbol is paired with a neighbour so
// that every code is complete (some inflaters reject incomplete ones).
void buildLengths(const std::uint32_t *freq, int count, int maxLength, std::uint8_t *lengths) {
  std::fill(lengths, lengths + count, 0);
  std::vector<int> used;
  for (int s = 0; s < count; ++s)
    if (freq[s])
      used.push_back(s);
  if (used.size() < 2) {
    const int first = used.empty() ? 0 : used.front();
    lengths[first] = 1;
    lengths[first == 0 ? 1 : 0] = 1;
    return;
  }
  std::stable_sort(used.begin(), used.end(), [&](int a, int b) { return freq[a] < freq[b]; });

  // Huffman's construction with two queues over the sorted leaves.
  const int leaves = int(used.size());
  std::vector<std::uint64_t> weight(2 * leaves);
  std::vector<int> parent(2 * leaves, 0);
  for (int i = 0; i < leaves; ++i)
    weight[i] = freq[used[i]];
  int nextLeaf = 0, nextNode = leaves, end = leaves;
  auto smallest = [&] {
    if (nextLeaf < leaves && (nextNode >= end || weight[nextLeaf] <= weight[nextNode]))
      return nextLeaf++;
    return nextNode++;
  };
  for (int k = 0; k < leaves - 1; ++k) {
    const int a = smallest();
    const int b = smallest();
    weight[end] = weight[a] + weight[b];
    parent[a] = parent[b] = end;
    ++end;
  }
  std::vector<int> depth(2 * leaves, 0);
  for (int i = end - 2; i >= 0; --i)
    depth[i] = depth[parent[i]] + 1;

  // Count codes per length, fold the ones that are too long into maxLength and
  // repair the Kraft sum by lengthening the deepest shorter codes.
  std::array<int, 64> perLength{};
  for (int i = 0; i < leaves; ++i)
    ++perLength[std::min(depth[i], 63)];
  for (int l = maxLength + 1; l < 64; ++l) {
    perLength[maxLength] += perLength[l];
    perLength[l] = 0;
  }
  std::uint64_t kraft = 0;
  for (int l = 1; l <= maxLength; ++l)
    kraft += std::uint64_t(perLength[l]) << (maxLength - l);
  while (kraft > (std::uint64_t(1) << maxLength)) {
    --perLength[maxLength];
    for (int l = maxLength - 1; l > 0; --l) {
      if (perLength[l]) {
        --perLength[l];
        perLength[l + 1] += 2;
        break;
      }
    }
    --kraft;
  }
  // Least frequent symbols take the longest codes.
  int i = 0;
  for (int l = maxLength; l >= 1; --l)
    for (int k = 0; k < perLength[l]; ++k)
      lengths[used[i++]] = std::uint8_t(l);
}

// Canonical codes, bit-reversed because deflate sends Huffman codes from the top bit.
void buildCodes(const std::uint8_t *lengths, int count, std::uint16_t *codes) {
  std::array<int, maxCodeLength + 2> perLength{};
  for (int s = 0; s < count; ++s)
    ++perLength[lengths[s]];
  perLength[0] = 0;
  std::array<std::uint32_t, maxCodeLength + 2> next{};
  std::uint32_t code = 0;
  for (int l = 1; l <= maxCodeLength; ++l) {
    code = (code + perLength[l - 1]) << 1;
    next[l] = code;
  }
  for (int s = 0; s < count; ++s) {
    const int l = lengths[s];
    if (!l) {
      codes[s] = 0;
      continue;
    }
    const std::uint32_t c = next[l]++;
    std::uint32_t reversed = 0;
    for (int b = 0; b < l; ++b)
      reversed |= ((c >> b) & 1u) << (l - 1 - b);
    codes[s] = std::uint16_t(reversed);
  }
}

class BitWriter {
public:
  explicit BitWriter(std::uint8_t *out) : out_(out) {}
  // count <= 32 and bits < 2^count.
  void put(std::uint32_t bits, int count) {
    acc_ |= std::uint64_t(bits) << filled_;
    filled_ += count;
    if (filled_ >= 32) {
      const std::uint32_t word = std::uint32_t(acc_);
      std::memcpy(out_, &word, 4); // little-endian targets only (x86-64, aarch64)
      out_ += 4;
      acc_ >>= 32;
      filled_ -= 32;
    }
  }
  bool aligned() const { return filled_ % 8 == 0; }
  // Pads with zero bits to the byte boundary and writes everything out.
  std::uint8_t *finish() {
    while (filled_ > 0) {
      *out_++ = std::uint8_t(acc_);
      acc_ >>= 8;
      filled_ -= 8;
    }
    filled_ = 0;
    acc_ = 0;
    return out_;
  }

private:
  std::uint8_t *out_;
  std::uint64_t acc_ = 0;
  int filled_ = 0;
};

static_assert(std::endian::native == std::endian::little, "the bit writer stores little-endian words");

struct CodeLengthRun {
  std::uint8_t symbol;
  std::uint8_t extra;
};

// Run-length form of the code lengths (symbols 16, 17, 18 of RFC 1951 3.2.7).
std::vector<CodeLengthRun> runLengths(const std::uint8_t *lengths, int count) {
  std::vector<CodeLengthRun> out;
  int i = 0;
  while (i < count) {
    const std::uint8_t v = lengths[i];
    int run = 1;
    while (i + run < count && lengths[i + run] == v)
      ++run;
    i += run;
    if (v == 0) {
      while (run >= 11) {
        const int r = std::min(run, 138);
        out.push_back({18, std::uint8_t(r - 11)});
        run -= r;
      }
      if (run >= 3) {
        out.push_back({17, std::uint8_t(run - 3)});
        run = 0;
      }
    } else {
      out.push_back({v, 0});
      --run;
      while (run >= 3) {
        const int r = std::min(run, 6);
        out.push_back({16, std::uint8_t(r - 3)});
        run -= r;
      }
    }
    for (; run > 0; --run)
      out.push_back({v, 0});
  }
  return out;
}

constexpr int codeLengthExtraBits(int symbol) { return symbol == 16 ? 2 : symbol == 17 ? 3 : symbol == 18 ? 7 : 0; }

// Encodes tokens as one dynamic block, or as stored blocks when that is smaller.
void writeBlock(const std::uint8_t *data, std::size_t begin, std::size_t end, const std::vector<std::uint32_t> &tokens,
                std::array<std::uint32_t, litLenSymbols> &litFreq, std::array<std::uint32_t, distSymbols> &distFreq,
                std::vector<std::uint8_t> &out) {
  litFreq[endOfBlock] = 1;
  std::array<std::uint8_t, litLenSymbols> litLen;
  std::array<std::uint8_t, distSymbols> distLen;
  buildLengths(litFreq.data(), litLenSymbols, maxCodeLength, litLen.data());
  buildLengths(distFreq.data(), distSymbols, maxCodeLength, distLen.data());

  int hlit = litLenSymbols;
  while (hlit > 257 && !litLen[hlit - 1])
    --hlit;
  int hdist = distSymbols;
  while (hdist > 1 && !distLen[hdist - 1])
    --hdist;
  std::array<std::uint8_t, litLenSymbols + distSymbols> all{};
  std::copy_n(litLen.begin(), hlit, all.begin());
  std::copy_n(distLen.begin(), hdist, all.begin() + hlit);
  const std::vector<CodeLengthRun> runs = runLengths(all.data(), hlit + hdist);
  std::array<std::uint32_t, codeLengthSymbols> clFreq{};
  for (const CodeLengthRun &r : runs)
    ++clFreq[r.symbol];
  std::array<std::uint8_t, codeLengthSymbols> clLen;
  buildLengths(clFreq.data(), codeLengthSymbols, maxCodeLengthCodeLength, clLen.data());
  int hclen = codeLengthSymbols;
  while (hclen > 4 && !clLen[codeLengthOrder[hclen - 1]])
    --hclen;

  std::uint64_t bits = 3 + 5 + 5 + 4 + 3 * std::uint64_t(hclen);
  for (const CodeLengthRun &r : runs)
    bits += clLen[r.symbol] + codeLengthExtraBits(r.symbol);
  for (int s = 0; s < litLenSymbols; ++s)
    bits += std::uint64_t(litFreq[s]) * (litLen[s] + (s > 256 ? lengthExtra[s - 257] : 0));
  for (int s = 0; s < distSymbols; ++s)
    bits += std::uint64_t(distFreq[s]) * (distLen[s] + (s >= 4 ? s / 2 - 1 : 0));

  const std::size_t length = end - begin;
  const std::size_t storedBlocks = std::max<std::size_t>(1, (length + 65534) / 65535);
  const std::uint64_t storedBits = 8 * std::uint64_t(length) + 40 * std::uint64_t(storedBlocks);
  const std::size_t start = out.size();

  if (storedBits <= bits + 40) {
    out.resize(start + length + 5 * storedBlocks);
    std::uint8_t *p = out.data() + start;
    std::size_t at = begin;
    for (std::size_t b = 0; b < storedBlocks; ++b) {
      const std::size_t n = std::min<std::size_t>(65535, end - at);
      *p++ = 0; // BFINAL 0, BTYPE 00, padding
      p[0] = std::uint8_t(n);
      p[1] = std::uint8_t(n >> 8);
      p[2] = std::uint8_t(~n);
      p[3] = std::uint8_t(~n >> 8);
      p += 4;
      std::memcpy(p, data + at, n);
      p += n;
      at += n;
    }
    return;
  }

  std::array<std::uint16_t, litLenSymbols> litCode;
  std::array<std::uint16_t, distSymbols> distCode;
  std::array<std::uint16_t, codeLengthSymbols> clCode;
  buildCodes(litLen.data(), litLenSymbols, litCode.data());
  buildCodes(distLen.data(), distSymbols, distCode.data());
  buildCodes(clLen.data(), codeLengthSymbols, clCode.data());

  // Room for the block, an aligning empty stored block and whole-word writes.
  out.resize(start + bits / 8 + 16);
  BitWriter w(out.data() + start);
  w.put(0b100, 3); // BFINAL 0, BTYPE 10 (dynamic)
  w.put(std::uint32_t(hlit - 257), 5);
  w.put(std::uint32_t(hdist - 1), 5);
  w.put(std::uint32_t(hclen - 4), 4);
  for (int i = 0; i < hclen; ++i)
    w.put(clLen[codeLengthOrder[i]], 3);
  for (const CodeLengthRun &r : runs) {
    w.put(clCode[r.symbol], clLen[r.symbol]);
    if (const int extra = codeLengthExtraBits(r.symbol))
      w.put(r.extra, extra);
  }
  for (const std::uint32_t t : tokens) {
    if (!(t & 0x80000000u)) {
      w.put(litCode[t], litLen[t]);
      continue;
    }
    const std::uint32_t len = (t >> 16) & 0x1ff;
    const std::uint32_t d = t & 0xffff;
    const int li = lengthTable.code[len];
    const int ls = 257 + li;
    w.put(litCode[ls] | ((len - lengthBase[li]) << litLen[ls]), litLen[ls] + lengthExtra[li]);
    const int dc = distanceCode(d);
    if (dc < 4) {
      w.put(distCode[dc], distLen[dc]);
    } else {
      const int extra = dc / 2 - 1;
      w.put(distCode[dc], distLen[dc]);
      w.put(d & ((1u << extra) - 1), extra);
    }
  }
  w.put(litCode[endOfBlock], litLen[endOfBlock]);
  if (!w.aligned()) {
    // An empty stored block brings the stream to a byte boundary, as a zlib sync flush does.
    w.put(0, 3);
    std::uint8_t *p = w.finish();
    const std::uint8_t empty[4] = {0x00, 0x00, 0xff, 0xff};
    std::memcpy(p, empty, 4);
    p += 4;
    out.resize(std::size_t(p - out.data()));
  } else {
    out.resize(std::size_t(w.finish() - out.data()));
  }
}

} // namespace

DeflateEncoder::DeflateEncoder() : head_(std::size_t(1) << hashBits) {}

void DeflateEncoder::encode(const std::uint8_t *data, std::size_t history, std::size_t size,
                            std::vector<std::uint8_t> &out) {
  if (size <= history)
    return;
  if (size > std::size_t(INT32_MAX - maxMatch - 16))
    throw std::length_error("deflate piece too large");
  std::fill(head_.begin(), head_.end(), emptySlot);
  const std::size_t primeFrom = history > std::size_t(windowSize) ? history - windowSize : 0;
  for (std::size_t q = primeFrom; q + minMatch <= history; ++q)
    head_[hash4(load32(data + q))] = std::int32_t(q);

  std::array<std::uint32_t, litLenSymbols> litFreq;
  std::array<std::uint32_t, distSymbols> distFreq;
  for (std::size_t begin = history; begin < size;) {
    const std::size_t end = std::min(size, begin + blockBytes);
    litFreq.fill(0);
    distFreq.fill(0);
    tokens_.clear();
    tokens_.reserve(end - begin);
    std::size_t p = begin;
    while (p + minMatch <= end) {
      const std::uint32_t v = load32(data + p);
      const std::uint32_t h = hash4(v);
      const std::int32_t candidate = head_[h];
      head_[h] = std::int32_t(p);
      const std::int64_t dist = std::int64_t(p) - candidate;
      if (dist > windowSize || load32(data + candidate) != v) {
        tokens_.push_back(data[p]);
        ++litFreq[data[p]];
        ++p;
        continue;
      }
      const std::size_t limit = std::min<std::size_t>(maxMatch, end - p);
      const std::uint8_t *a = data + p;
      const std::uint8_t *b = data + candidate;
      std::size_t len = minMatch;
      for (;;) {
        if (len + 8 <= limit) {
          const std::uint64_t diff = load64(a + len) ^ load64(b + len);
          if (diff) {
            len += std::size_t(std::countr_zero(diff) >> 3);
            break;
          }
          len += 8;
        } else {
          while (len < limit && a[len] == b[len])
            ++len;
          break;
        }
      }
      if (len < minFarMatch && dist > nearDistance) {
        tokens_.push_back(data[p]);
        ++litFreq[data[p]];
        ++p;
        continue;
      }
      tokens_.push_back(0x80000000u | std::uint32_t(len << 16) | std::uint32_t(dist - 1));
      ++litFreq[257 + lengthTable.code[len]];
      ++distFreq[distanceCode(std::uint32_t(dist - 1))];
      // Index the tail of the match so that the next search finds nearby repeats.
      const std::size_t next = p + len;
      for (std::size_t q = std::max(p + 1, next > 3 ? next - 3 : 0); q < next; ++q)
        head_[hash4(load32(data + q))] = std::int32_t(q);
      p = next;
    }
    for (; p < end; ++p) {
      tokens_.push_back(data[p]);
      ++litFreq[data[p]];
    }
    writeBlock(data, begin, end, tokens_, litFreq, distFreq, out);
    begin = end;
  }
}

} // namespace crel
