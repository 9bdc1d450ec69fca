#pragma once

#include "canvas/CanvasInteraction.h"
#include "canvas/CanvasView.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/MarkSamples.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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
  return generatedImage({w, h}, [&](int x, int) { return x < w / 2 ? qRgb(240, 240, 240) : qRgb(20, 20, 30); });
}

inline Mark sampleMark(MarkTool tool, QPointF start, QPointF end) {
  return makeMark(tool, start, end, 6, AnnotationStyle::formal);
}

// The menu's item titled `text`, if any.
inline QAction *menuItem(QMenu &menu, const QString &text) {
  for (QAction *a : menu.actions())
    if (a->text() == text)
      return a;
  return nullptr;
}

inline int pixelDifference(QRgb p, QRgb q) {
  return std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q)),
                   std::abs(qAlpha(p) - qAlpha(q))});
}

// The largest channel difference of two renders, leaving out the pixels of `except`.
inline int largestDifference(const QImage &a, const QImage &b, const QRect &except = {}) {
  int worst = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (!except.contains(x, y))
        worst = std::max(worst, pixelDifference(a.pixel(x, y), b.pixel(x, y)));
  return worst;
}

// How many pixels differ by more than 2 in some channel.
inline qsizetype differing(const QImage &a, const QImage &b) {
  qsizetype count = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      count += pixelDifference(a.pixel(x, y), b.pixel(x, y)) > 2;
  return count;
}

inline bool near(QRgb pixel, QColor color, int tolerance = 6) {
  return std::abs(qRed(pixel) - color.red()) <= tolerance && std::abs(qGreen(pixel) - color.green()) <= tolerance &&
         std::abs(qBlue(pixel) - color.blue()) <= tolerance;
}

// A canvas over a document of `image` with private preferences. At the
// default view size a 200x150 image is drawn at scale 1 from (16, 12).
template <class Document = CrelDocument, class Base = ::testing::Test> class CanvasOver : public Base {
protected:
  explicit CanvasOver(const QImage &image, QSize viewSize = {232, 174}) : document(image, preferences) {
    canvas->resize(viewSize);
  }
  QPointF view(QPointF imagePoint) const { return canvas->viewPoint(imagePoint); }
  void mouseAt(QEvent::Type type, QPointF viewPoint, Qt::KeyboardModifiers modifiers = {},
               Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButton changed = type == QEvent::MouseMove ? Qt::NoButton : button;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, viewPoint, canvas->mapToGlobal(viewPoint), changed, held, modifiers);
    QApplication::sendEvent(canvas.get(), &event);
  }

  TemporarySettings settings;
  AnnotationPreferences preferences{settings.store()};
  Document document;
  std::unique_ptr<CanvasView> canvas = std::make_unique<CanvasView>(document);
};

// Input delivered synchronously to a canvas on which one image pixel is two
// view points, the image's origin at (16, 12): image points map exactly.
class CanvasInputTest : public CanvasOver<QuietDocument> {
protected:
  CanvasInputTest() : CanvasOver(halfDarkImage(200, 146), {432, 316}) { document.setTool(MarkTool::rectangle); }

  CanvasInteraction &interaction() { return canvas->interaction(); }
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
};

} // namespace crel::test
