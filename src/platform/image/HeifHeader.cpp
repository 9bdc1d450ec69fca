#include "HeifHeader.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace crel::HeifHeader {

namespace {

// A bounds-checked view of some bytes; every read past the end fails.
struct Reader {
  const unsigned char *data;
  std::size_t size;
  std::size_t at = 0;
  bool ok = true;

  bool has(std::size_t n) const { return ok && n <= size - at; }
  std::uint64_t number(std::size_t bytes) {
    if (!has(bytes)) {
      ok = false;
      return 0;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i)
      value = (value << 8) | data[at + i];
    at += bytes;
    return value;
  }
  std::string type() {
    if (!has(4)) {
      ok = false;
      return {};
    }
    std::string t(reinterpret_cast<const char *>(data + at), 4);
    at += 4;
    return t;
  }
  void skip(std::size_t n) {
    if (!has(n))
      ok = false;
    else
      at += n;
  }
};

struct Box {
  std::string type;
  std::size_t body = 0; // offset of the payload in the whole file
  std::size_t length = 0;
};

// The boxes laid end to end in [begin, begin + length).
std::optional<std::vector<Box>> children(const unsigned char *file, std::size_t begin, std::size_t length) {
  std::vector<Box> boxes;
  Reader r{file + begin, length};
  while (r.ok && r.at < length) {
    const std::size_t start = r.at;
    std::uint64_t size = r.number(4);
    const std::string type = r.type();
    if (size == 1)
      size = r.number(8);
    else if (size == 0)
      size = length - start;
    const std::size_t header = r.at - start;
    if (!r.ok || size < header || size > length - start)
      return std::nullopt;
    boxes.push_back({type, begin + r.at, std::size_t(size) - header});
    r.at = start + std::size_t(size);
  }
  if (!r.ok)
    return std::nullopt;
  return boxes;
}

const Box *find(const std::vector<Box> &boxes, const char *type) {
  for (const Box &b : boxes)
    if (b.type == type)
      return &b;
  return nullptr;
}

// The verdict on one declared size; `largest` keeps the largest seen.
std::optional<Verdict> judge(std::uint64_t width, std::uint64_t height, double maxPixels, double &largest) {
  if (width == 0 || height == 0)
    return Verdict::noPixels;
  const double pixels = double(width) * double(height);
  if (pixels > maxPixels)
    return Verdict::tooLarge;
  largest = std::max(largest, pixels);
  return std::nullopt;
}

struct Extent {
  std::uint64_t offset = 0, length = 0;
};
struct Location {
  int method = 0;
  std::uint64_t base = 0;
  std::vector<Extent> extents;
};

std::optional<std::map<std::uint32_t, Location>> locations(const unsigned char *file, const Box &iloc) {
  Reader r{file + iloc.body, iloc.length};
  const auto version = r.number(1);
  r.skip(3);
  if (version > 2)
    return std::nullopt;
  const auto sizes = r.number(2);
  const std::size_t offsetSize = sizes >> 12, lengthSize = (sizes >> 8) & 15, baseSize = (sizes >> 4) & 15;
  const std::size_t indexSize = version >= 1 ? sizes & 15 : 0;
  const auto valid = [](std::size_t n) { return n == 0 || n == 4 || n == 8; };
  if (!valid(offsetSize) || !valid(lengthSize) || !valid(baseSize) || !valid(indexSize))
    return std::nullopt;
  const auto count = r.number(version < 2 ? 2 : 4);
  std::map<std::uint32_t, Location> result;
  for (std::uint64_t i = 0; r.ok && i < count; ++i) {
    const auto id = std::uint32_t(r.number(version < 2 ? 2 : 4));
    Location location;
    if (version >= 1)
      location.method = int(r.number(2) & 15);
    r.skip(2); // data reference index
    location.base = r.number(baseSize);
    const auto extentCount = r.number(2);
    for (std::uint64_t e = 0; r.ok && e < extentCount; ++e) {
      r.skip(indexSize);
      Extent extent;
      extent.offset = r.number(offsetSize);
      extent.length = r.number(lengthSize);
      location.extents.push_back(extent);
    }
    result[id] = location;
  }
  if (!r.ok)
    return std::nullopt;
  return result;
}

// The first bytes of an item, enough for a grid's or overlay's header.
std::optional<std::vector<unsigned char>> itemPrefix(const unsigned char *file, std::size_t fileSize,
                                                     const Location &location, const Box *idat, std::size_t want) {
  if (location.extents.empty())
    return std::nullopt;
  const Extent &extent = location.extents.front();
  const unsigned char *source = nullptr;
  std::size_t sourceSize = 0;
  if (location.method == 0) {
    source = file;
    sourceSize = fileSize;
  } else if (location.method == 1 && idat) {
    source = file + idat->body;
    sourceSize = idat->length;
  } else {
    return std::nullopt;
  }
  const std::uint64_t start = location.base + extent.offset;
  if (start < location.base || start > sourceSize)
    return std::nullopt;
  std::uint64_t available = sourceSize - start;
  if (extent.length != 0 && extent.length < available)
    available = extent.length;
  const std::size_t n = std::size_t(available < want ? available : want);
  return std::vector<unsigned char>(source + start, source + start + n);
}

// Output canvas of a grid ('grid') or overlay ('iovl') item.
std::optional<std::pair<std::uint64_t, std::uint64_t>> canvas(const std::string &type,
                                                              const std::vector<unsigned char> &bytes) {
  Reader r{bytes.data(), bytes.size()};
  r.skip(1); // version
  const auto flags = r.number(1);
  const std::size_t field = (flags & 1) ? 4 : 2;
  if (type == "grid")
    r.skip(2); // rows and columns minus one
  else
    r.skip(8); // fill colour
  const auto width = r.number(field);
  const auto height = r.number(field);
  if (!r.ok)
    return std::nullopt;
  return std::pair{width, height};
}

} // namespace

Verdict check(const unsigned char *data, std::size_t size, double maxPixels, double *largest) {
  double seen = 0;
  const auto top = children(data, 0, size);
  if (!top)
    return Verdict::malformed;
  const Box *meta = find(*top, "meta");
  if (!meta || meta->length < 4)
    return Verdict::malformed;
  const auto inMeta = children(data, meta->body + 4, meta->length - 4);
  if (!inMeta)
    return Verdict::malformed;

  // Every declared image extent, whether or not the primary image uses it.
  if (const Box *iprp = find(*inMeta, "iprp")) {
    const auto inIprp = children(data, iprp->body, iprp->length);
    const Box *ipco = inIprp ? find(*inIprp, "ipco") : nullptr;
    const auto properties = ipco ? children(data, ipco->body, ipco->length) : std::nullopt;
    if (!properties)
      return Verdict::malformed;
    for (const Box &p : *properties) {
      if (p.type != "ispe")
        continue;
      Reader r{data + p.body, p.length};
      r.skip(4);
      const auto width = r.number(4), height = r.number(4);
      if (!r.ok)
        return Verdict::malformed;
      if (const auto verdict = judge(width, height, maxPixels, seen))
        return *verdict;
    }
  }

  // Grids and overlays name a canvas of their own, independent of any extent.
  const Box *iinf = find(*inMeta, "iinf");
  if (!iinf)
    return Verdict::malformed;
  Reader r{data + iinf->body, iinf->length};
  const auto iinfVersion = r.number(1);
  r.skip(3);
  r.number(iinfVersion == 0 ? 2 : 4);
  if (!r.ok)
    return Verdict::malformed;
  const auto entries = children(data, iinf->body + r.at, iinf->length - r.at);
  if (!entries)
    return Verdict::malformed;
  std::optional<std::map<std::uint32_t, Location>> where;
  for (const Box &infe : *entries) {
    if (infe.type != "infe")
      continue;
    Reader e{data + infe.body, infe.length};
    const auto version = e.number(1);
    e.skip(3);
    if (version < 2)
      continue; // no item type: not an image item
    const auto id = std::uint32_t(e.number(version == 2 ? 2 : 4));
    e.skip(2); // protection index
    const std::string type = e.type();
    if (!e.ok)
      return Verdict::malformed;
    if (type != "grid" && type != "iovl")
      continue;
    if (!where) {
      const Box *iloc = find(*inMeta, "iloc");
      where = iloc ? locations(data, *iloc) : std::nullopt;
      if (!where)
        return Verdict::malformed;
    }
    const auto location = where->find(id);
    if (location == where->end())
      return Verdict::malformed;
    const auto prefix = itemPrefix(data, size, location->second, find(*inMeta, "idat"), 32);
    const auto output = prefix ? canvas(type, *prefix) : std::nullopt;
    if (!output)
      return Verdict::malformed;
    if (const auto verdict = judge(output->first, output->second, maxPixels, seen))
      return *verdict;
  }
  if (largest)
    *largest = seen;
  return Verdict::allowed;
}

} // namespace crel::HeifHeader
