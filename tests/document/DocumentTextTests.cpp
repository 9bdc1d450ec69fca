#include "MarkSamples.h"

#include "support/TestSupport.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"

#include "platform/clipboard/Pasteboard.h"
#include "platform/text/FakeTextRecognizer.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <numbers>

using namespace crel;

namespace {

class DocumentTextTest : public ::testing::Test {
protected:
  DocumentTextTest() : preferences(settings.store()) {
    useNewRecognizer();
    doc = newDocument();
  }

  // One line "alpha beta" and one line "gamma".
  void useNewRecognizer() {
    recognizer = std::make_shared<FakeTextRecognizer>();
    recognizer->setObservations({
        {{{"alpha", {10, 10, 40, 20}}, {"beta", {60, 10, 50, 20}}}, {10, 10, 100, 20}, 0.9f},
        {{{"gamma", {10, 50, 60, 20}}}, {10, 50, 60, 20}, 0.9f},
    });
    TextRecognizer::setShared(recognizer);
  }

  std::unique_ptr<CrelDocument> newDocument() {
    return std::make_unique<CrelDocument>(test::filledImage({200, 100}, Qt::white), preferences);
  }
  ~DocumentTextTest() override {
    TextRecognizer::waitForBackgroundWork();
    TextRecognizer::setShared(nullptr);
  }

  void finishRecognition() {
    TextRecognizer::waitForBackgroundWork();
    for (int i = 0; i < 50 && doc->recognizing(); ++i)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }

  static Mark redactOver(geom::Rect box) {
    return test::makeMark(MarkTool::redact, box.origin(), {box.maxX(), box.maxY()});
  }

  test::TemporarySettings settings;
  AnnotationPreferences preferences;
  std::shared_ptr<FakeTextRecognizer> recognizer;
  std::unique_ptr<CrelDocument> doc;
};

} // namespace

TEST_F(DocumentTextTest, RecognitionRunsOnceForTheTextTools) {
  doc->selectTool(MarkTool::rectangle);
  EXPECT_FALSE(doc->recognizing());
  doc->selectTool(MarkTool::blur);
  EXPECT_TRUE(doc->recognizing());
  EXPECT_EQ(doc->recognitionStatus(), "Finding text on this computer…");
  doc->selectTool(MarkTool::extract); // while running: nothing new
  finishRecognition();
  EXPECT_FALSE(doc->recognizing());
  EXPECT_EQ(doc->recognizedText().words.size(), 3);
  EXPECT_EQ(doc->recognitionStatus(), "Text ready. Click a word or drag across lines.");
  doc->selectTool(MarkTool::highlight);
  finishRecognition();
  EXPECT_EQ(recognizer->callCount(), 1);
}

TEST_F(DocumentTextTest, AFailureIsShownAndNeverRetried) {
  recognizer->setFailure(QString("The engine is missing."));
  doc->recognizeTextIfNeeded();
  finishRecognition();
  EXPECT_TRUE(doc->recognizedText().words.isEmpty());
  EXPECT_EQ(doc->recognitionStatus(), "Text recognition failed: The engine is missing.");
  doc->recognizeTextIfNeeded();
  finishRecognition();
  EXPECT_EQ(recognizer->callCount(), 1);
}

TEST_F(DocumentTextTest, ClosingADocumentCancelsItsRecognitionAndNoOtherWaitsForIt) {
  // Every recognition blocks until released; the closed document's never is.
  const struct {
    const char *name;
    bool queued; // behind another document's recognition when closed
  } cases[] = {{"closed while running", false}, {"closed while queued", true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    useNewRecognizer();
    recognizer->hold();
    std::unique_ptr<CrelDocument> front = c.queued ? newDocument() : nullptr, closed = newDocument(),
                                  other = newDocument();
    if (front)
      front->recognizeTextIfNeeded();
    closed->recognizeTextIfNeeded();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recognizer->callCount() == 1; }, 10000));
    other->recognizeTextIfNeeded();
    closed.reset();
    for (int i = 0; i < (front ? 2 : 1); ++i)
      recognizer->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !other->recognizing(); }, 10000)) << "waits behind the closed document";
    EXPECT_EQ(other->recognizedText().words.size(), 3);
    EXPECT_EQ(recognizer->callCount(), 2) << "a queued job of a closed document never runs";
    EXPECT_EQ(recognizer->cancelledCount(), c.queued ? 0 : 1);
    if (front) {
      EXPECT_FALSE(front->recognizing());
    }
    TextRecognizer::waitForBackgroundWork();
    // Nothing arrives late for the closed document: delivering it would write
    // into freed memory, which the sanitizer build reports.
    QCoreApplication::processEvents();
  }
}

TEST_F(DocumentTextTest, HiddenWordsAreNeitherAvailableNorCopied) {
  doc->recognizeTextIfNeeded();
  finishRecognition();
  const QList<RecognizedWord> all = doc->recognizedText().words;
  ASSERT_EQ(all.size(), 3);
  doc->commit({redactOver({55, 5, 10, 10})}); // touches "beta"
  EXPECT_EQ(doc->availableText().words.size(), 2);

  // A redaction rotated by 45° hides by the bounding box of its rotated area.
  Mark turned = redactOver({107, 37, 30, 10}); // its box, not its shape, reaches "beta"
  turned.rotation = std::numbers::pi / 4;
  doc->commit({turned});
  EXPECT_EQ(doc->availableText().words.size(), 2);

  // Nothing available: nothing written, status unchanged.
  doc->commit({redactOver({0, 0, 200, 100})});
  doc->setSelectedWords(all);
  FakePasteboard untouched;
  doc->setStatus("before");
  doc->copyRecognizedText(untouched);
  EXPECT_EQ(untouched.clearCount, 0);
  EXPECT_EQ(doc->status(), "before");
}
