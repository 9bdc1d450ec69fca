#pragma once

#include "Mark.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QRect>
#include <QSet>
#include <QUuid>

#include <cstdint>
#include <list>
#include <optional>

namespace crel {

// Filtered patches of blur marks, keyed by the content that produced them,
// held to `countLimit` patches and `costLimit` bytes. Least recently used
// patches go first, the patch each blur mark used last only after every
// other: within the limits a repaint finds every mark's patch, and a blur
// above another does not filter the lower one again for each of its own
// renders. Beyond the limits a patch is filtered again when next drawn.
class BlurCache {
public:
  struct Patch {
    QImage image; // the filtered pixels, one per canvas pixel of `rect`
    QRect rect;   // where they go, in canvas coordinates
  };

  static constexpr int defaultCountLimit = 32;
  static constexpr std::int64_t defaultCostLimit = 67'108'864;

  explicit BlurCache(int countLimit = defaultCountLimit, std::int64_t costLimit = defaultCostLimit);

  // Lower-case hex SHA-256 of the stored form of [mark, preceding…]; none
  // when a mark cannot be encoded (a non-finite number).
  static std::optional<QByteArray> key(const Mark &mark, const QList<Mark> &preceding);

  // A hit makes the patch the most recently used and the one kept for `markId`.
  std::optional<Patch> find(const QByteArray &key, const QUuid &markId);
  // Stores (or replaces) the patch for `key`, keeps it for `markId`, then
  // evicts down to the limits; a patch over the whole cost limit is not
  // stored. Cost is the patch's pixel bytes.
  void insert(const QByteArray &key, const QUuid &markId, const Patch &patch);
  // Marks not in `markIds` (deleted ones) lose their kept patch, which then
  // goes before any kept one.
  void keepOnlyMarks(const QSet<QUuid> &markIds);

  bool contains(const QByteArray &key) const { return entries_.contains(key); }
  int count() const { return static_cast<int>(entries_.size()); }
  // How many marks have a patch that goes last.
  int keptCount() const { return static_cast<int>(kept_.size()); }
  std::int64_t totalCost() const { return totalCost_; }
  int hits() const { return hits_; }
  int misses() const { return misses_; }

private:
  struct Entry {
    Patch patch;
    QUuid markId;
    std::int64_t cost = 0;
    std::list<QByteArray>::iterator use; // position in recent_
  };

  bool isKept(const QByteArray &key, const Entry &entry) const;
  void evict();

  int countLimit_;
  std::int64_t costLimit_;
  QHash<QByteArray, Entry> entries_;
  std::list<QByteArray> recent_; // most recently used first
  QHash<QUuid, QByteArray> kept_;
  std::int64_t totalCost_ = 0;
  int hits_ = 0;
  int misses_ = 0;
};

} // namespace crel
