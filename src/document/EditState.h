#pragma once

#include "AnnotationStyle.h"
#include "Mark.h"

#include <QList>

#include <optional>

namespace crel {

// One undo snapshot: the whole mark list and the document's style. Mark lists
// are implicitly shared, so snapshots cost a reference count, not a copy.
struct EditState {
  QList<Mark> marks;
  std::optional<AnnotationStyle> style;

  friend bool operator==(const EditState &a, const EditState &b);

  // {"marks": [...], "style"?: "..."}.
  void encode(JsonWriter &w) const;
  // Also reads a bare array of marks, whose style is the first mark's style
  // (formal when it has none), or absent for an empty array.
  static EditState decode(const QJsonValue &v);

  static void encodeList(JsonWriter &w, const QList<EditState> &states);
  static QList<EditState> decodeList(const QJsonValue &v);
};

// Element-by-element mark equality: never short-cuts on shared data, so a list
// holding a NaN never equals its copy.
bool sameMarks(const QList<Mark> &a, const QList<Mark> &b);

} // namespace crel
