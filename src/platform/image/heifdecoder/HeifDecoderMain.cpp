// crel-heif-decoder: decodes one HEIF image from standard input for the
// application (protocol in HeifDecoderProtocol.h). libheif may abort or
// allocate without bound on a crafted file; here that ends only this
// process, under limits of memory and time set before any input is read.
#include "platform/base/DescriptorSoftLimit.h"
#include "platform/image/HeifDecoderProtocol.h"
#include "platform/image/HeifHeader.h"
#include "platform/image/ImageLimits.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

using namespace crel;
namespace protocol = HeifDecoderProtocol;

namespace {

void limit(int resource, rlim_t value) {
  const rlimit limits{value, value};
  setrlimit(resource, &limits);
}

// The application runs with a raised soft limit; its own programs get back
// the one it was started with.
void setDescriptorLimit(int argc, char **argv) {
  if (argc != 3 || std::strcmp(argv[1], protocol::descriptorLimitSwitch) != 0)
    return;
  char *end = nullptr;
  errno = 0;
  const unsigned long long soft = std::strtoull(argv[2], &end, 10);
  if (errno == 0 && end != argv[2] && *end == '\0')
    DescriptorLimit::setSoftLimit(soft);
}

bool readAll(std::vector<unsigned char> &out) {
  std::size_t used = 0;
  out.resize(std::size_t(1) << 16);
  for (;;) {
    if (used == out.size()) {
      if (out.size() > protocol::maxInputBytes)
        return false;
      out.resize(out.size() * 2);
    }
    const ssize_t n = ::read(STDIN_FILENO, out.data() + used, out.size() - used);
    if (n == 0)
      break;
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    used += std::size_t(n);
  }
  out.resize(used);
  return used <= protocol::maxInputBytes;
}

bool writeAll(const void *data, std::size_t size) {
  const auto *p = static_cast<const unsigned char *>(data);
  while (size > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, p, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    p += n;
    size -= std::size_t(n);
  }
  return true;
}

void put32(unsigned char *at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    at[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

bool allowed(double width, double height) {
  return width >= 1 && height >= 1 && width * height <= ImageLimits::maxPixels;
}

template <class T, void (*Free)(T *)> struct Deleter {
  void operator()(T *p) const { Free(p); }
};
void releaseHandle(heif_image_handle *h) { heif_image_handle_release(h); }
void releaseImage(heif_image *i) { heif_image_release(i); }

} // namespace

int main(int argc, char **argv) {
  setDescriptorLimit(argc, argv);
  limit(RLIMIT_AS, protocol::addressSpaceBytes);
  limit(RLIMIT_CPU, protocol::cpuSeconds);
  limit(RLIMIT_CORE, 0); // an abort is an answer, not a core file
  std::vector<unsigned char> input;
  if (!readAll(input))
    return protocol::undecodable;
  switch (HeifHeader::check(input.data(), input.size(), ImageLimits::maxPixels)) {
  case HeifHeader::Verdict::allowed: break;
  case HeifHeader::Verdict::tooLarge: return protocol::tooLarge;
  case HeifHeader::Verdict::noPixels:
  case HeifHeader::Verdict::malformed: return protocol::undecodable;
  }
  const std::unique_ptr<heif_context, Deleter<heif_context, heif_context_free>> context(heif_context_alloc());
  if (!context || heif_context_read_from_memory_without_copy(context.get(), input.data(), input.size(), nullptr).code !=
                      heif_error_Ok)
    return protocol::undecodable;
  heif_image_handle *rawHandle = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok)
    return protocol::undecodable;
  const std::unique_ptr<heif_image_handle, Deleter<heif_image_handle, releaseHandle>> handle(rawHandle);
  if (!allowed(heif_image_handle_get_width(rawHandle), heif_image_handle_get_height(rawHandle)))
    return protocol::tooLarge;
  // No side may grow past a declared one while decoding, beyond the padding
  // to whole coding blocks (at most 64 pixels in HEVC) that the coded picture
  // carries and libheif holds to the same limit. Strictly above the longest
  // side: libheif refuses a side equal to the limit when it rotates.
  const int longestSide =
      std::max({heif_image_handle_get_width(rawHandle), heif_image_handle_get_height(rawHandle),
                heif_image_handle_get_ispe_width(rawHandle), heif_image_handle_get_ispe_height(rawHandle)});
  constexpr int largestCodingBlock = 64;
  heif_context_set_maximum_image_size_limit(context.get(), (longestSide / largestCodingBlock + 1) * largestCodingBlock);
  // libheif applies the file's rotation and mirroring while decoding.
  heif_image *rawImage = nullptr;
  if (heif_decode_image(rawHandle, &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr).code !=
      heif_error_Ok)
    return protocol::undecodable;
  const std::unique_ptr<heif_image, Deleter<heif_image, releaseImage>> image(rawImage);
  const int width = heif_image_get_width(rawImage, heif_channel_interleaved);
  const int height = heif_image_get_height(rawImage, heif_channel_interleaved);
  int stride = 0;
  const uint8_t *pixels = heif_image_get_plane_readonly(rawImage, heif_channel_interleaved, &stride);
  if (!pixels || !allowed(width, height) || stride < width * 4)
    return !pixels ? protocol::undecodable : protocol::tooLarge;

  std::vector<unsigned char> profile;
  if (heif_image_handle_get_color_profile_type(rawHandle) == heif_color_profile_type_prof) {
    const std::size_t size = heif_image_handle_get_raw_color_profile_size(rawHandle);
    if (size > 0 && size <= protocol::maxProfileBytes) {
      profile.resize(size);
      if (heif_image_handle_get_raw_color_profile(rawHandle, profile.data()).code != heif_error_Ok)
        profile.clear();
    }
  }
  std::uint32_t flags = 0;
  if (heif_image_handle_has_alpha_channel(rawHandle))
    flags |= protocol::hasAlpha;
  if (heif_image_handle_is_premultiplied_alpha(rawHandle))
    flags |= protocol::premultiplied;
  unsigned char header[protocol::headerSize];
  std::memcpy(header, protocol::magic, sizeof protocol::magic);
  put32(header + 8, std::uint32_t(width));
  put32(header + 12, std::uint32_t(height));
  put32(header + 16, flags);
  put32(header + 20, std::uint32_t(profile.size()));
  if (!writeAll(header, sizeof header) || !writeAll(profile.data(), profile.size()))
    return protocol::undecodable;
  for (int y = 0; y < height; ++y)
    if (!writeAll(pixels + std::size_t(y) * std::size_t(stride), std::size_t(width) * 4))
      return protocol::undecodable;
  return protocol::decoded;
}
