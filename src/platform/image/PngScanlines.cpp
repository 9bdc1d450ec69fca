#include "PngScanlines.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CREL_HAVE_AVX2_PATH 1
#endif

namespace crel {

namespace {

std::uint8_t unpremultiplied(std::uint32_t c, std::uint32_t inverse) {
  // Qt's own rounding (qUnpremultiply), so Qt premultiplies the decoded pixel
  // back to the same value; clamped because invalid input may exceed alpha.
  return std::uint8_t(std::min<std::uint32_t>(255, (c * inverse + 0x8000) >> 16));
}

void packRgbaPixel(QRgb p, bool premultiplied, std::uint8_t *out) {
  const std::uint32_t a = qAlpha(p);
  std::uint32_t r = qRed(p), g = qGreen(p), b = qBlue(p);
  if (premultiplied && a != 255) {
    if (a == 0) {
      r = g = b = 0;
    } else {
      const std::uint32_t inverse = qt_inv_premul_factor[a];
      r = unpremultiplied(r, inverse);
      g = unpremultiplied(g, inverse);
      b = unpremultiplied(b, inverse);
    }
  }
  out[0] = std::uint8_t(r);
  out[1] = std::uint8_t(g);
  out[2] = std::uint8_t(b);
  out[3] = std::uint8_t(a);
}

bool packRgbPortable(const QRgb *in, int width, bool ignoreAlpha, std::uint8_t *out) {
  for (int x = 0; x < width; ++x) {
    const QRgb p = in[x];
    if (!ignoreAlpha && qAlpha(p) != 255)
      return false;
    out[0] = std::uint8_t(qRed(p));
    out[1] = std::uint8_t(qGreen(p));
    out[2] = std::uint8_t(qBlue(p));
    out += 3;
  }
  return true;
}

void packRgbaPortable(const QRgb *in, int width, bool premultiplied, std::uint8_t *out) {
  for (int x = 0; x < width; ++x, out += 4)
    packRgbaPixel(in[x], premultiplied, out);
}

inline std::uint8_t paeth(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  return std::uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

inline std::uint64_t signedMagnitude(std::uint8_t v) { return std::uint64_t(std::abs(int(std::int8_t(v)))); }

struct Costs {
  std::uint64_t sub = 0, up = 0, paeth = 0;
};

// Residuals of bytes [from, n): Up straight into up, Sub and Paeth into scratch.
void filterTail(const std::uint8_t *prev, const std::uint8_t *cur, std::size_t from, std::size_t n, int bpp,
                std::uint8_t *up, std::uint8_t *sub, std::uint8_t *pae, Costs &costs) {
  for (std::size_t i = from; i < n; ++i) {
    // Bytes left of the row are the zero margin.
    const int a = cur[std::ptrdiff_t(i) - bpp], b = prev[i], c = prev[std::ptrdiff_t(i) - bpp];
    sub[i] = std::uint8_t(cur[i] - a);
    up[i] = std::uint8_t(cur[i] - b);
    pae[i] = std::uint8_t(cur[i] - paeth(a, b, c));
    costs.sub += signedMagnitude(sub[i]);
    costs.up += signedMagnitude(up[i]);
    costs.paeth += signedMagnitude(pae[i]);
  }
}

void choose(const Costs &costs, std::size_t n, std::uint8_t *out, const std::uint8_t *sub, const std::uint8_t *pae) {
  if (costs.up <= costs.sub && costs.up <= costs.paeth) {
    out[0] = 2;
  } else if (costs.sub <= costs.paeth) {
    out[0] = 1;
    std::memcpy(out + 1, sub, n);
  } else {
    out[0] = 4;
    std::memcpy(out + 1, pae, n);
  }
}

#ifdef CREL_HAVE_AVX2_PATH

__attribute__((target("avx2"))) bool packRgbAvx2(const QRgb *in, int width, bool ignoreAlpha, std::uint8_t *out) {
  const __m256i order = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, //
                                         2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  const __m256i alpha = _mm256_set1_epi32(int(0xff000000u));
  int x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + x));
    if (!ignoreAlpha && _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_and_si256(v, alpha), alpha)) != -1)
      return false;
    const __m256i packed = _mm256_shuffle_epi8(v, order);
    // Each store writes four bytes of slack that the next one overwrites.
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm256_castsi256_si128(packed));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 12), _mm256_extracti128_si256(packed, 1));
    out += 24;
  }
  return packRgbPortable(in + x, width - x, ignoreAlpha, out);
}

__attribute__((target("avx2"))) void packRgbaAvx2(const QRgb *in, int width, bool premultiplied, std::uint8_t *out) {
  const __m256i order = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15, //
                                         2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
  const __m256i alpha = _mm256_set1_epi32(int(0xff000000u));
  int x = 0;
  for (; x + 8 <= width; x += 8, out += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + x));
    if (!premultiplied || _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_and_si256(v, alpha), alpha)) == -1) {
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), _mm256_shuffle_epi8(v, order));
    } else {
      for (int k = 0; k < 8; ++k)
        packRgbaPixel(in[x + k], true, out + 4 * k);
    }
  }
  packRgbaPortable(in + x, width - x, premultiplied, out);
}

__attribute__((target("avx2"))) inline std::uint64_t total64(__m256i v) {
  alignas(32) std::uint64_t lanes[4];
  _mm256_store_si256(reinterpret_cast<__m256i *>(lanes), v);
  return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}

__attribute__((target("avx2"))) inline std::uint64_t total32(__m256i v) {
  alignas(32) std::uint32_t lanes[8];
  _mm256_store_si256(reinterpret_cast<__m256i *>(lanes), v);
  std::uint64_t t = 0;
  for (std::uint32_t l : lanes)
    t += l;
  return t;
}

__attribute__((target("avx2"))) inline __m256i paethPredictor16(__m256i a, __m256i b, __m256i c) {
  const __m256i t1 = _mm256_sub_epi16(b, c);
  const __m256i t2 = _mm256_sub_epi16(a, c);
  const __m256i pa = _mm256_abs_epi16(t1);
  const __m256i pb = _mm256_abs_epi16(t2);
  const __m256i pc = _mm256_abs_epi16(_mm256_add_epi16(t1, t2));
  const __m256i notA = _mm256_or_si256(_mm256_cmpgt_epi16(pa, pb), _mm256_cmpgt_epi16(pa, pc));
  const __m256i bc = _mm256_blendv_epi8(b, c, _mm256_cmpgt_epi16(pb, pc));
  return _mm256_blendv_epi8(a, bc, notA);
}

__attribute__((target("avx2"))) void filterAvx2(const std::uint8_t *prev, const std::uint8_t *cur, std::size_t n,
                                                int bpp, std::uint8_t *out, std::uint8_t *scratch) {
  std::uint8_t *up = out + 1;
  std::uint8_t *sub = scratch;
  std::uint8_t *pae = scratch + n;
  const __m256i zero = _mm256_setzero_si256();
  __m256i costSub = zero, costUp = zero, costPaeth = zero;
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(cur + i));
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(cur + i - bpp));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(prev + i));
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(prev + i - bpp));
    const __m256i rs = _mm256_sub_epi8(x, a);
    const __m256i ru = _mm256_sub_epi8(x, b);
    const __m256i lo =
        paethPredictor16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero), _mm256_unpacklo_epi8(c, zero));
    const __m256i hi =
        paethPredictor16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero), _mm256_unpackhi_epi8(c, zero));
    const __m256i rp = _mm256_sub_epi8(x, _mm256_packus_epi16(lo, hi));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(sub + i), rs);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(up + i), ru);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(pae + i), rp);
    costSub = _mm256_add_epi64(costSub, _mm256_sad_epu8(_mm256_abs_epi8(rs), zero));
    costUp = _mm256_add_epi64(costUp, _mm256_sad_epu8(_mm256_abs_epi8(ru), zero));
    costPaeth = _mm256_add_epi64(costPaeth, _mm256_sad_epu8(_mm256_abs_epi8(rp), zero));
  }
  Costs costs{total64(costSub), total64(costUp), total64(costPaeth)};
  filterTail(prev, cur, i, n, bpp, up, sub, pae, costs);
  choose(costs, n, out, sub, pae);
}

__attribute__((target("avx2"))) std::uint32_t adler32Avx2(std::uint32_t adler, const std::uint8_t *data,
                                                          std::size_t n) {
  constexpr std::uint32_t base = 65521;
  // Largest run of 32-byte blocks whose sums cannot overflow before the modulo.
  constexpr std::size_t maxBlocks = 5552 / 32;
  std::uint64_t s1 = adler & 0xffff, s2 = adler >> 16;
  const __m256i weights = _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14,
                                           13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
  const __m256i ones = _mm256_set1_epi16(1);
  const __m256i zero = _mm256_setzero_si256();
  while (n >= 32) {
    const std::size_t blocks = std::min(n / 32, maxBlocks);
    __m256i sums = zero, earlier = zero, weighted = zero;
    for (std::size_t k = 0; k < blocks; ++k) {
      const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data));
      earlier = _mm256_add_epi64(earlier, sums);
      sums = _mm256_add_epi64(sums, _mm256_sad_epu8(d, zero));
      weighted = _mm256_add_epi32(weighted, _mm256_madd_epi16(_mm256_maddubs_epi16(d, weights), ones));
      data += 32;
    }
    s2 += 32 * blocks * s1 + 32 * total64(earlier) + total32(weighted);
    s1 += total64(sums);
    s1 %= base;
    s2 %= base;
    n -= blocks * 32;
  }
  for (; n > 0; --n) {
    s1 += *data++;
    s2 += s1;
  }
  return std::uint32_t((s2 % base) << 16 | (s1 % base));
}

bool detectAvx2() { return __builtin_cpu_supports("avx2"); }
#else
bool detectAvx2() { return false; }
#endif

std::atomic<bool> &vectorEnabled() {
  static std::atomic<bool> enabled{detectAvx2()};
  return enabled;
}

} // namespace

bool PngScanlines::vectorUnitsAvailable() { return detectAvx2(); }

void PngScanlines::setVectorUnitsEnabled(bool enabled) { vectorEnabled() = enabled && detectAvx2(); }

bool PngScanlines::packRgb(const QRgb *in, int width, bool ignoreAlpha, std::uint8_t *out) {
#ifdef CREL_HAVE_AVX2_PATH
  if (vectorEnabled().load(std::memory_order_relaxed))
    return packRgbAvx2(in, width, ignoreAlpha, out);
#endif
  return packRgbPortable(in, width, ignoreAlpha, out);
}

void PngScanlines::packRgba(const QRgb *in, int width, bool premultiplied, std::uint8_t *out) {
#ifdef CREL_HAVE_AVX2_PATH
  if (vectorEnabled().load(std::memory_order_relaxed))
    return packRgbaAvx2(in, width, premultiplied, out);
#endif
  packRgbaPortable(in, width, premultiplied, out);
}

void PngScanlines::filter(const std::uint8_t *prev, const std::uint8_t *cur, std::size_t n, int bpp, std::uint8_t *out,
                          std::uint8_t *scratch) {
#ifdef CREL_HAVE_AVX2_PATH
  if (vectorEnabled().load(std::memory_order_relaxed))
    return filterAvx2(prev, cur, n, bpp, out, scratch);
#endif
  Costs costs;
  filterTail(prev, cur, 0, n, bpp, out + 1, scratch, scratch + n, costs);
  choose(costs, n, out, scratch, scratch + n);
}

std::uint32_t PngScanlines::adler32(std::uint32_t adler, const std::uint8_t *data, std::size_t n) {
#ifdef CREL_HAVE_AVX2_PATH
  if (vectorEnabled().load(std::memory_order_relaxed))
    return adler32Avx2(adler, data, n);
#endif
  return std::uint32_t(adler32_z(adler, data, n));
}

} // namespace crel
