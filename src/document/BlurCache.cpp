#include "BlurCache.h"

#include "platform/files/JsonWriter.h"

#include <QCryptographicHash>

namespace crel {

BlurCache::BlurCache(int countLimit, std::int64_t costLimit) : countLimit_(countLimit), costLimit_(costLimit) {}

std::optional<QByteArray> BlurCache::key(const Mark &mark, const QList<Mark> &preceding) {
  JsonWriter w;
  try {
    w.beginArray();
    mark.encode(w);
    for (const Mark &m : preceding)
      m.encode(w);
    w.endArray();
    return QCryptographicHash::hash(w.take(), QCryptographicHash::Sha256).toHex();
  } catch (const JsonEncodingError &) {
    return std::nullopt;
  }
}

std::optional<BlurCache::Patch> BlurCache::find(const QByteArray &key, const QUuid &markId) {
  const auto it = entries_.find(key);
  if (it == entries_.end()) {
    ++misses_;
    return std::nullopt;
  }
  ++hits_;
  recent_.splice(recent_.begin(), recent_, it->use);
  // The same content can be shared by two marks only if their ids match,
  // since the id is part of the key; still, keep the entry's owner current.
  it->markId = markId;
  kept_.insert(markId, key);
  return it->patch;
}

void BlurCache::insert(const QByteArray &key, const QUuid &markId, const Patch &patch) {
  const std::int64_t cost = patch.image.sizeInBytes();
  auto it = entries_.find(key);
  if (it != entries_.end()) {
    totalCost_ -= it->cost;
    recent_.erase(it->use);
    entries_.erase(it);
  }
  // One patch over the whole limit would only push every other one out.
  if (cost > costLimit_) {
    kept_.remove(markId);
    return;
  }
  recent_.push_front(key);
  entries_.insert(key, Entry{patch, markId, cost, recent_.begin()});
  totalCost_ += cost;
  kept_.insert(markId, key);
  evict();
}

void BlurCache::keepOnlyMarks(const QSet<QUuid> &markIds) {
  for (auto it = kept_.begin(); it != kept_.end();)
    it = markIds.contains(it.key()) ? std::next(it) : kept_.erase(it);
  evict();
}

bool BlurCache::isKept(const QByteArray &key, const Entry &entry) const {
  const auto it = kept_.constFind(entry.markId);
  return it != kept_.constEnd() && *it == key;
}

void BlurCache::evict() {
  // Least recently used first, patches some mark used last only on a second pass.
  for (const bool evictKept : {false, true}) {
    auto use = recent_.end();
    while ((count() > countLimit_ || totalCost_ > costLimit_) && use != recent_.begin()) {
      --use;
      const auto it = entries_.find(*use);
      if (!evictKept && isKept(*use, *it))
        continue;
      totalCost_ -= it->cost;
      if (isKept(*use, *it))
        kept_.remove(it->markId);
      entries_.erase(it);
      use = recent_.erase(use);
    }
  }
}

} // namespace crel
