#include "selfcheck/CanvasEvents.h"

#include "canvas/CanvasView.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "support/TestSupport.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <gtest/gtest.h>

using namespace crel;
using namespace crel::NativeTests;

namespace {

// Records what reaches the canvas, in order, without taking it.
class Recorder : public QObject {
public:
  struct Event {
    QEvent::Type type;
    QPointF position;
    Qt::MouseButtons buttons;
    Qt::KeyboardModifiers modifiers;
  };
  QList<Event> events;

protected:
  bool eventFilter(QObject *, QEvent *event) override {
    if (auto *mouse = dynamic_cast<QMouseEvent *>(event))
      events.append({event->type(), mouse->position(), mouse->buttons(), mouse->modifiers()});
    else if (auto *key = dynamic_cast<QKeyEvent *>(event))
      events.append({event->type(), {}, {}, key->modifiers()});
    return false;
  }
};

class CanvasEventsTest : public ::testing::Test {
protected:
  CanvasEventsTest() {
    canvas.resize(600, 480);
    canvas.installEventFilter(&recorder);
  }
  test::TemporarySettings settings;
  AnnotationPreferences preferences{settings.store()};
  CrelDocument document{QImage(800, 600, QImage::Format_ARGB32), preferences};
  CanvasView canvas{document};
  Recorder recorder;
  CanvasEvents events{canvas};
};

} // namespace

TEST_F(CanvasEventsTest, ImagePointsFollowTheImageRectangleThroughZoomAndPan) {
  for (const double zoom : {1.0, 2.5}) {
    canvas.setZoom(zoom);
    if (zoom > 1)
      document.setPan({30, -14});
    for (const QPointF p : {QPointF(0, 0), QPointF(100, 100), QPointF(799, 599)}) {
      const QPointF v = events.viewPoint(p);
      EXPECT_NEAR(canvas.point(v).x(), p.x(), 1e-9);
      EXPECT_NEAR(canvas.point(v).y(), p.y(), 1e-9);
    }
  }
}

TEST_F(CanvasEventsTest, ADragToItsOwnStartIsStillDownOneDraggedAndUp) {
  document.setTool(MarkTool::select);
  events.drag({100, 100}, {100, 100}, Qt::ShiftModifier);
  ASSERT_EQ(recorder.events.size(), 3);
  EXPECT_EQ(recorder.events[0].type, QEvent::MouseButtonPress);
  EXPECT_EQ(recorder.events[1].type, QEvent::MouseMove);
  EXPECT_EQ(recorder.events[1].buttons, Qt::LeftButton);
  EXPECT_EQ(recorder.events[2].type, QEvent::MouseButtonRelease);
  EXPECT_EQ(recorder.events[2].buttons, Qt::NoButton);
  for (const Recorder::Event &e : recorder.events) {
    EXPECT_EQ(e.modifiers, Qt::ShiftModifier);
    EXPECT_EQ(e.position, events.viewPoint({100, 100}));
  }
}

TEST_F(CanvasEventsTest, HoverCarriesNoButtonAndKeysGoToTheirTarget) {
  events.hover({10, 10});
  ASSERT_EQ(recorder.events.size(), 1);
  EXPECT_EQ(recorder.events[0].type, QEvent::MouseMove);
  EXPECT_EQ(recorder.events[0].buttons, Qt::NoButton);

  QWidget other;
  Recorder elsewhere;
  other.installEventFilter(&elsewhere);
  events.key(Qt::Key_Escape, QString(QChar(0x1b)), {}, &other);
  EXPECT_FALSE(elsewhere.events.isEmpty());
  EXPECT_EQ(recorder.events.size(), 1);
  EXPECT_TRUE(events.letter(u'R'));
  EXPECT_EQ(document.tool(), MarkTool::rectangle);
}
