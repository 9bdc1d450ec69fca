#pragma once

#include "document/Mark.h"

#include <QUuid>

#include <gtest/gtest.h>

namespace crel::test {

// A mark of `tool` from start to end in the first palette ink, with a text
// box of 320 × 24 px for text marks.
inline Mark makeMark(MarkTool tool, QPointF start = {10, 10}, QPointF end = {60, 40}, double width = 4,
                     std::optional<AnnotationStyle> style = std::nullopt) {
  Mark m;
  m.id = QUuid::createUuid();
  m.tool = tool;
  m.start = start;
  m.end = end;
  m.ink = Ink::palette().first();
  m.width = width;
  m.fontSize = 24;
  m.textBoxWidth = 320;
  m.style = style;
  return m;
}

inline void expectNear(QPointF actual, QPointF expected, double tolerance = 1e-9) {
  EXPECT_NEAR(actual.x(), expected.x(), tolerance);
  EXPECT_NEAR(actual.y(), expected.y(), tolerance);
}

} // namespace crel::test
