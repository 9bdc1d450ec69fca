#pragma once

#include "canvas/CanvasInteraction.h"
#include "canvas/CanvasView.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/MarkSamples.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <memory>

namespace crel::test {

// A document whose text recognition never starts, so choosing a word tool
// stays on this thread.
class QuietDocument : public CrelDocument {
public:
  using CrelDocument::CrelDocument;
  void recognizeTextIfNeeded() override {}
};

inline QImage halfDarkImage(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(QColor(240, 240, 240));
  for (int y = 0; y < h; ++y)
    for (int x = w / 2; x < w; ++x)
      image.setPixel(x, y, qRgb(20, 20, 30));
  return image;
}

inline Mark sampleMark(MarkTool tool, QPointF start, QPointF end) {
  return makeMark(tool, start, end, 6, AnnotationStyle::formal);
}

// Input delivered synchronously to a canvas on which one image pixel is two
// view points, the image's origin at (16, 12): image points map exactly.
class CanvasInputTest : public ::testing::Test {
protected:
  CanvasInputTest() {
    canvas->resize(432, 316);
    document.setTool(MarkTool::rectangle);
  }

  CanvasInteraction &interaction() { return canvas->interaction(); }
  QPointF view(QPointF imagePoint) const { return canvas->viewPoint(imagePoint); }

  void mouseAt(QEvent::Type type, QPointF viewPoint, Qt::KeyboardModifiers modifiers = {},
               Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButton changed = type == QEvent::MouseMove ? Qt::NoButton : button;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, viewPoint, canvas->mapToGlobal(viewPoint), changed, held, modifiers);
    QApplication::sendEvent(canvas.get(), &event);
  }
  // Pointer positions in image pixels.
  void press(QPointF p, Qt::KeyboardModifiers modifiers = {}) { mouseAt(QEvent::MouseButtonPress, view(p), modifiers); }
  void doubleClick(QPointF p) { mouseAt(QEvent::MouseButtonDblClick, view(p)); }
  void drag(QPointF p, Qt::KeyboardModifiers modifiers = {}) { mouseAt(QEvent::MouseMove, view(p), modifiers); }
  void release(QPointF p, Qt::KeyboardModifiers modifiers = {}) {
    mouseAt(QEvent::MouseButtonRelease, view(p), modifiers);
  }
  void stroke(QList<QPointF> points, Qt::KeyboardModifiers modifiers = {}) {
    press(points.first(), modifiers);
    for (qsizetype i = 1; i < points.size(); ++i)
      drag(points[i], modifiers);
    release(points.last(), modifiers);
  }

  // Whether the canvas took the key.
  bool key(int code, Qt::KeyboardModifiers modifiers = {}, bool autoRepeat = false,
           QEvent::Type type = QEvent::KeyPress) {
    QKeyEvent event(type, code, modifiers, QString(), autoRepeat);
    event.ignore();
    QApplication::sendEvent(canvas.get(), &event);
    return event.isAccepted();
  }
  bool keyUp(int code, Qt::KeyboardModifiers modifiers = {}, bool autoRepeat = false) {
    return key(code, modifiers, autoRepeat, QEvent::KeyRelease);
  }

  const Mark &only() const { return document.marks().first(); }

  // A rectangle outline from (40, 40) to (100, 80), selected with the select tool.
  Mark placeSelectedRectangle() {
    const Mark mark = sampleMark(MarkTool::rectangle, {40, 40}, {100, 80});
    document.commit({mark});
    document.selectMark(mark, false);
    return mark;
  }

  TemporarySettings settings;
  AnnotationPreferences preferences{settings.store()};
  QuietDocument document{halfDarkImage(200, 146), preferences};
  std::unique_ptr<CanvasView> canvas = std::make_unique<CanvasView>(document);
};

} // namespace crel::test
