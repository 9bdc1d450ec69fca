#include "CanvasInputFixture.h"

#include "canvas/WordGestures.h"

#include "platform/text/FakeTextRecognizer.h"

#include <QPainter>

using namespace crel;
using namespace crel::test;

namespace {

// White paper; a black band behind the third line (white text on black) and
// a black bottom-right corner.
QImage pageImage() {
  QImage image = filledImage({200, 150}, Qt::white);
  QPainter painter(&image);
  painter.fillRect(QRect(0, 85, 200, 31), Qt::black);
  painter.fillRect(QRect(180, 130, 20, 20), Qt::black);
  return image;
}

class WordGesturesTest : public CanvasOver<> {
protected:
  WordGesturesTest() : CanvasOver(pageImage()) {
    recognizer->setObservations({
        {{{"alpha", {10, 10, 40, 20}}, {"beta", {60, 10, 50, 20}}}, {10, 10, 100, 20}, 0.9f},
        {{{"gamma", {10, 50, 60, 20}}, {"delta", {80, 50, 40, 20}}}, {10, 50, 110, 20}, 0.9f},
        {{{"eps", {10, 90, 30, 20}}, {"zeta", {50, 90, 40, 20}}}, {10, 90, 80, 20}, 0.9f},
    });
    TextRecognizer::setShared(recognizer);
    document.recognizeTextIfNeeded();
    TextRecognizer::waitForBackgroundWork();
    for (int i = 0; i < 100 && document.recognizing(); ++i)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  ~WordGesturesTest() override { TextRecognizer::setShared(nullptr); }

  WordGestures &words() { return canvas->wordGestures(); }
  // The pointer's button at image point p, as the canvas gets it.
  void press(QPointF p) { mouseAt(QEvent::MouseButtonPress, view(p)); }
  void drag(QPointF p) { mouseAt(QEvent::MouseMove, view(p)); }
  void release(QPointF p) { mouseAt(QEvent::MouseButtonRelease, view(p)); }

  std::shared_ptr<FakeTextRecognizer> recognizer = std::make_shared<FakeTextRecognizer>();
};

const QPointF alpha(30, 20), beta(85, 20), delta(100, 60), zeta(70, 100);

} // namespace

TEST_F(WordGesturesTest, AClickWithExtractSelectsExactlyThatWord) {
  ASSERT_EQ(document.recognizedText().words.size(), 6);
  document.setTool(MarkTool::extract);
  ASSERT_TRUE(WordGestures::isWordTool(document));
  press(beta);
  release(beta);
  ASSERT_EQ(document.selectedWords().size(), 1);
  EXPECT_EQ(document.selectedWords()[0].text, "beta");
  EXPECT_TRUE(document.marks().isEmpty());
  EXPECT_FALSE(canvas->draft());
}

TEST_F(WordGesturesTest, AThreeLineDragIsOneMarkThatShrinksBackKeepingItsId) {
  document.setStyle(AnnotationStyle::doodle);
  document.setTool(MarkTool::highlight);
  press(alpha);
  drag(zeta);
  ASSERT_TRUE(canvas->draft());
  const Mark spanning = *canvas->draft();
  ASSERT_TRUE(spanning.regions);
  EXPECT_EQ(spanning.regions->size(), 3);
  EXPECT_EQ(spanning.highlightDarkRegions, (QList<bool>{false, false, true}));
  EXPECT_LT(spanning.regions->at(0).minY(), spanning.regions->at(2).minY()); // line order

  drag(beta);
  ASSERT_TRUE(canvas->draft());
  EXPECT_EQ(canvas->draft()->id, spanning.id);
  EXPECT_EQ(canvas->draft()->regions->size(), 1);
  EXPECT_EQ(canvas->draft()->highlightDarkRegions, QList<bool>{false});

  drag(delta);
  release(delta);
  EXPECT_FALSE(canvas->draft());
  ASSERT_EQ(document.marks().size(), 1);
  const Mark &m = document.marks()[0];
  EXPECT_EQ(m.id, spanning.id);
  EXPECT_EQ(m.regions->size(), 2);
  EXPECT_EQ(m.style, AnnotationStyle::formal); // whatever the document's style
  EXPECT_EQ(m.highlightMode, HighlightMode::text);
  EXPECT_EQ(m.opacity, document.highlightOpacity());
  EXPECT_EQ(m.fontSize, 40);
  EXPECT_EQ(m.textBoxWidth, 320);
  EXPECT_FALSE(m.blurEffect);
  EXPECT_EQ(document.selection(), m.id);
  EXPECT_EQ(document.tool(), MarkTool::highlight); // kept for the next mark
  EXPECT_EQ(document.history().size(), 2);         // the style, then the mark
}

TEST_F(WordGesturesTest, RedactAndBlurWordMarksTakeTheHighlightOpacity) {
  document.setRedactMode(HighlightMode::text);
  document.setTool(MarkTool::redact);
  press(alpha);
  release(beta);
  ASSERT_EQ(document.marks().size(), 1);
  EXPECT_EQ(document.marks()[0].tool, MarkTool::redact);
  EXPECT_EQ(document.marks()[0].opacity, document.highlightOpacity());
  EXPECT_FALSE(document.marks()[0].blurStrength);

  document.setBlurMode(HighlightMode::text);
  document.setTool(MarkTool::blur);
  press(delta); // alpha and beta are hidden under the redaction now
  release(delta);
  ASSERT_EQ(document.marks().size(), 2);
  EXPECT_EQ(document.marks()[1].blurEffect, document.blurEffect());
  EXPECT_EQ(document.marks()[1].blurStrength, document.blurStrength());
}

TEST_F(WordGesturesTest, WhichToolsWorkOnWords) {
  const auto wordTool = [&](MarkTool tool) {
    document.setTool(tool);
    return WordGestures::isWordTool(document);
  };
  document.setRedactMode(HighlightMode::marker);
  EXPECT_FALSE(wordTool(MarkTool::redact));
  document.setRedactMode(HighlightMode::text);
  EXPECT_TRUE(wordTool(MarkTool::redact));
  document.setHighlightMode(HighlightMode::area);
  EXPECT_FALSE(wordTool(MarkTool::highlight));
  EXPECT_FALSE(wordTool(MarkTool::pen));
  EXPECT_TRUE(wordTool(MarkTool::extract));
}

TEST_F(WordGesturesTest, APickOfNoWordsDrawsNothingAndSaysWhy) {
  document.setTool(MarkTool::highlight);
  press({150, 140});
  drag({160, 145});
  EXPECT_FALSE(canvas->draft());
  release({160, 145});
  EXPECT_TRUE(document.marks().isEmpty());
  EXPECT_EQ(document.status(), document.recognitionStatus());
}

TEST_F(WordGesturesTest, DarkFlagsReadOnlyTheImageUnderEachRegion) {
  const QList<bool> flags = words().darkRegions({
      {190, 140, 40, 40}, // half outside, its inside part black
      {0, 85, 200, 31},   // the black band
      {10, 10, 40, 20},   // black on white would be: white paper
      {300, 300, 10, 10}, // wholly outside
      {0, 0, 0, 10},      // empty
  });
  EXPECT_EQ(flags, (QList<bool>{true, true, false, false, false}));
}

TEST_F(WordGesturesTest, HoverFindsTheWordAndPicksTheCursor) {
  document.setTool(MarkTool::highlight);
  canvas->hoverAt(view(alpha), false);
  ASSERT_TRUE(canvas->hoverWord());
  EXPECT_EQ(canvas->hoverWord()->text, "alpha");
  EXPECT_EQ(canvas->cursor().shape(), Qt::IBeamCursor);
  // Within the 4-pixel tolerance of a word's edge.
  canvas->hoverAt(view({8, 20}), false);
  EXPECT_TRUE(canvas->hoverWord());

  canvas->hoverAt(view(alpha), true);
  EXPECT_EQ(canvas->cursor().shape(), Qt::OpenHandCursor);

  const QPointF onBar = view(alpha);
  canvas->setChromeFrames({geom::Rect(onBar.x() - 5, onBar.y() - 5, 10, 10)});
  canvas->hoverAt(onBar, false);
  EXPECT_FALSE(canvas->hoverWord());
  EXPECT_EQ(canvas->cursor().shape(), Qt::ArrowCursor);
  canvas->setChromeFrames({});

  canvas->hoverAt(view({150, 40}), false);
  EXPECT_FALSE(canvas->hoverWord());
  EXPECT_EQ(canvas->cursor().shape(), Qt::CrossCursor);

  canvas->hoverAt(view(alpha), false);
  canvas->hoverEnded();
  EXPECT_FALSE(canvas->hoverWord());
  EXPECT_EQ(canvas->cursor().shape(), Qt::ArrowCursor);

  // Other tools look up no word.
  for (const auto &[tool, cursor] : {std::pair{MarkTool::pen, Qt::CrossCursor}, {MarkTool::select, Qt::ArrowCursor}}) {
    document.setTool(tool);
    canvas->hoverAt(view(alpha), false);
    EXPECT_FALSE(canvas->hoverWord());
    EXPECT_EQ(canvas->cursor().shape(), cursor);
  }
}

TEST_F(WordGesturesTest, HoverFollowsWordsHiddenByALaterRedaction) {
  document.setTool(MarkTool::extract);
  canvas->hoverAt(view(alpha), false);
  ASSERT_TRUE(canvas->hoverWord());
  document.commit({sampleMark(MarkTool::redact, {5, 5}, {55, 35})});
  canvas->hoverAt(view(alpha), false);
  EXPECT_FALSE(canvas->hoverWord());
  canvas->hoverAt(view(beta), false);
  EXPECT_TRUE(canvas->hoverWord());
}
