#pragma once

#include "JsonWriter.h"
#include "platform/base/Geometry.h"

#include <QList>
#include <QPointF>

namespace crel::json {

// The standard stored shapes of points ([x, y]) and rectangles ([[x, y], [w, h]]).
inline void writePoint(JsonWriter &w, QPointF p) {
  w.beginArray();
  w.value(p.x());
  w.value(p.y());
  w.endArray();
}

inline void writeRect(JsonWriter &w, const geom::Rect &r) {
  w.beginArray();
  writePoint(w, r.origin());
  writePoint(w, QPointF(r.width(), r.height()));
  w.endArray();
}

template <class T, class F> void writeList(JsonWriter &w, const QList<T> &items, F writeElement) {
  w.beginArray();
  for (const T &item : items)
    writeElement(w, item);
  w.endArray();
}

} // namespace crel::json
