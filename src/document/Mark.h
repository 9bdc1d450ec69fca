#pragma once

#include "AnnotationStyle.h"
#include "BlurEffect.h"
#include "HighlightMode.h"
#include "Ink.h"
#include "MarkTool.h"

#include "platform/base/Geometry.h"
#include "platform/files/JsonWriter.h"

#include <QList>
#include <QPointF>
#include <QString>
#include <QUuid>

#include <optional>

namespace crel {

// One annotation, as a plain value. Coordinates are image pixels (origin
// top-left, y down) in the mark's own unrotated frame; `rotation` turns the
// drawn mark about the centre of its bounds. Field order is the stored order.
struct Mark {
  QUuid id;
  MarkTool tool = MarkTool::arrow;
  QPointF start;
  QPointF end;
  QList<QPointF> points;
  Ink ink;
  double width = 0;
  QString text;
  double arrowHeadScale = 1;
  double fontSize = 0;
  double textBoxWidth = 0;
  std::optional<AnnotationStyle> style;
  std::optional<HighlightMode> highlightMode;
  std::optional<QList<geom::Rect>> regions;
  std::optional<double> opacity;
  std::optional<long long> number;
  std::optional<bool> constrained;
  std::optional<QList<bool>> highlightDarkRegions;
  std::optional<BlurEffect> blurEffect;
  std::optional<double> blurStrength;
  std::optional<double> rotation;

  // Exact, field by field: NaN never equals anything, one ulp is a difference.
  friend bool operator==(const Mark &a, const Mark &b);

  // Writes every required field and each optional field that is present.
  // Throws JsonEncodingError on a non-finite number.
  void encode(JsonWriter &w) const;
  static Mark decode(const QJsonValue &v);

  static void encodeList(JsonWriter &w, const QList<Mark> &marks);
  static QList<Mark> decodeList(const QJsonValue &v);
};

} // namespace crel
