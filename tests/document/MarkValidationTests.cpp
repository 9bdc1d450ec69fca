#include "MarkSamples.h"
#include "document/Mark.h"
#include "document/MarkValidation.h"

#include "platform/files/JsonReader.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace crel;

namespace {

// One stored arrow with `field` set to `value` (raw JSON text).
QJsonValue storedArrow(const QString &field, const QString &value) {
  QJsonObject arrow =
      json::parse(R"({"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","tool":"arrow","start":[10,20],"end":[300,40],)"
                  R"("points":[],"ink":{"name":"Coral","red":0.92,"green":0.25,"blue":0.23},"width":32,"text":"",)"
                  R"("arrowHeadScale":1,"fontSize":28,"textBoxWidth":320})")
          .toObject();
  arrow.insert(field, json::parse(("[" + value + "]").toUtf8()).toArray().first());
  return arrow;
}

} // namespace

// Stored marks come from files anyone can edit: a value past the limits,
// which the document never commits, must be refused with a message naming
// it before anything is sized from it; everything within them reads back.
TEST(MarkValidation, StoredMarksOutsideTheLimitsAreRefused) {
  const struct {
    const char *field;
    const char *value;
    bool accepted;
  } cases[] = {
      {"start", "[-1000000,1000000]", true},
      {"end", "[0,-40000]", true},
      {"start", "[1e300,0]", false},
      {"end", "[0,-1000001]", false},
      {"points", "[[0,0],[1e9,1]]", false},
      {"width", "1280", true},
      {"width", "2000000", true},
      {"width", "1e12", false},
      {"width", "-1", false},
      {"fontSize", "1024", true},
      {"fontSize", "1e9", false},
      {"textBoxWidth", "1e15", false},
      {"arrowHeadScale", "1000", false},
      {"opacity", "1.5", false},
      {"blurStrength", "1e6", false},
      {"regions", "[[[0,0],[5e6,10]]]", false},
      {"regions", "[[[0,0],[500,10]]]", true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.field) + " = " + c.value);
    const QJsonValue stored = storedArrow(c.field, c.value);
    if (c.accepted) {
      EXPECT_NO_THROW(Mark::decode(stored));
      continue;
    }
    try {
      Mark::decode(stored);
      ADD_FAILURE() << "accepted";
    } catch (const JsonDecodingError &e) {
      EXPECT_NE(std::string(e.what()).find(c.field), std::string::npos) << e.what();
    }
  }
}

// What the document commits is brought within the limits: a mark dragged
// past them moves back inside whole, keeping its shape; only what is larger
// than the whole range is cut. Within the limits nothing changes.
TEST(MarkValidation, ClampingKeepsTheShapeWherePossible) {
  using MarkValidation::maxCoordinate;
  Mark far = test::makeMark(MarkTool::rectangle, {maxCoordinate + 50, 10}, {maxCoordinate + 250, 90});
  far.width = 5e6;
  const Mark inside = MarkValidation::clamped(far);
  EXPECT_TRUE(MarkValidation::withinLimits(inside));
  test::expectNear(inside.end - inside.start, far.end - far.start);
  EXPECT_EQ(inside.end.x(), maxCoordinate);
  EXPECT_EQ(inside.width, MarkValidation::maxWidth);

  Mark huge = test::makeMark(MarkTool::line, {-3e6, 0}, {3e6, 0});
  const Mark cut = MarkValidation::clamped(huge);
  EXPECT_EQ(cut.start.x(), -maxCoordinate);
  EXPECT_EQ(cut.end.x(), maxCoordinate);

  Mark pen = test::makeMark(MarkTool::pen);
  for (qsizetype i = 0; i < MarkValidation::maxPoints + 7; ++i)
    pen.points.append(QPointF(double(i % 1000), double(i / 1000)));
  const Mark thinned = MarkValidation::clamped(pen);
  ASSERT_EQ(thinned.points.size(), MarkValidation::maxPoints);
  EXPECT_EQ(thinned.points.first(), pen.points.first());
  EXPECT_EQ(thinned.points.last(), pen.points.last());

  const Mark ordinary = test::makeMark(MarkTool::arrow, {10, 10}, {1200, 40}, 1280);
  EXPECT_TRUE(MarkValidation::withinLimits(ordinary));
  EXPECT_EQ(MarkValidation::clamped(ordinary), ordinary);
}

TEST(MarkValidation, ACanvasPastEightyMegapixelsIsRefused) {
  const struct {
    geom::Rect canvas;
    bool accepted;
  } cases[] = {
      {{0, 0, 1920, 1080}, true},
      {{-100, -100, 8000, 10000}, true},
      {{0, 0, 9000, 9000}, false},
      {{0, 0, 40000, 100}, false},
  };
  for (const auto &c : cases) {
    if (c.accepted)
      EXPECT_NO_THROW(MarkValidation::checkCanvas(c.canvas)) << c.canvas.width();
    else
      EXPECT_THROW(MarkValidation::checkCanvas(c.canvas), JsonDecodingError) << c.canvas.width();
  }
}
