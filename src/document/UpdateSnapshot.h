#pragma once

#include "AnnotationStyle.h"
#include "BlurEffect.h"
#include "EditState.h"
#include "HighlightMode.h"
#include "Ink.h"
#include "Mark.h"
#include "MarkTool.h"

#include <QByteArray>
#include <QMap>
#include <QUrl>
#include <QUuid>

#include <optional>

namespace crel {

// A document's whole editable state, carried across an update and relaunch.
// The first ten fields are required in the stored form; the rest may be absent.
struct UpdateSnapshot {
  QByteArray originalPNG;
  QList<Mark> marks;
  QList<EditState> history;
  QList<EditState> future;
  QUrl savedURL;
  MarkTool tool = MarkTool::arrow;
  Ink ink;
  double stroke = 0;
  double fontSize = 0;
  double arrowHeadScale = 0;
  std::optional<QUuid> selection;
  std::optional<AnnotationStyle> annotationStyle;
  std::optional<QMap<QString, double>> toolWidths;
  std::optional<QMap<QString, Ink>> toolInks;
  std::optional<HighlightMode> highlightMode;
  std::optional<HighlightMode> redactMode;
  std::optional<double> highlightOpacity;
  std::optional<HighlightMode> blurMode;
  std::optional<BlurEffect> blurEffect;
  std::optional<double> blurStrength;

  friend bool operator==(const UpdateSnapshot &a, const UpdateSnapshot &b);

  // Keys in field order; absent optionals write no key. Maps are written in
  // key order so identical state gives identical bytes.
  void encode(JsonWriter &w) const;
  static UpdateSnapshot decode(const QJsonValue &v);
};

} // namespace crel
