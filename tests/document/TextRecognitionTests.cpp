#include "document/TextRecognition.h"

#include "platform/text/FakeTextRecognizer.h"

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>

using namespace crel;

namespace {

// One line of the given words (split at single spaces), the i-th word in rects[i].
TextObservation line(const QString &text, QList<geom::Rect> rects, float confidence = 0.9f) {
  TextObservation observation;
  const QStringList texts = text.split(' ');
  for (qsizetype i = 0; i < texts.size(); ++i) {
    const geom::Rect rect = i < rects.size() ? rects[i] : geom::Rect();
    observation.words.push_back({texts[i], rect});
    observation.bounds = observation.bounds.united(rect);
  }
  observation.confidence = confidence;
  return observation;
}

QList<geom::Rect> boxes(int count, double y, double x = 0) {
  QList<geom::Rect> rects;
  for (int i = 0; i < count; ++i)
    rects.push_back(geom::Rect(x + i * 50, y, 40, 10));
  return rects;
}

} // namespace

TEST(TextRecognition, EveryWordKeepsItsOwnBoxWhateverItsSpelling) {
  // Words that a join-and-split of the line would merge or shift: combining
  // marks alone (they join the space before them into one character), an
  // accented word, and a word that is only whitespace.
  const struct {
    QString words;
    QStringList expected; // text per kept word; the order numbers follow the input
    QList<int> orders;
  } cases[] = {
      {"Four words here now", {"Four", "words", "here", "now"}, {0, 1, 2, 3}},
      {"a \u0301 b", {"a", "\u0301", "b"}, {0, 1, 2}},
      {"\u0301\u0302 cafe\u0301 end", {"\u0301\u0302", "cafe\u0301", "end"}, {0, 1, 2}},
      {"left \u00a0 right", {"left", "right"}, {0, 2}},
  };
  for (const auto &c : cases) {
    const qsizetype count = c.words.split(' ').size();
    const auto text = TextRecognition::recognizedText({line(c.words, boxes(int(count), 0))});
    ASSERT_EQ(text.words.size(), c.expected.size()) << qPrintable(c.words);
    for (qsizetype i = 0; i < c.expected.size(); ++i) {
      const RecognizedWord &word = text.words[i];
      EXPECT_EQ(word.text, c.expected[i]) << qPrintable(c.words);
      EXPECT_EQ(word.order, c.orders[i]) << qPrintable(c.words);
      EXPECT_EQ(word.line, 0);
      EXPECT_EQ(word.rect, boxes(int(count), 0)[c.orders[i]]) << qPrintable(c.words) << " word " << i;
    }
  }
}

TEST(TextRecognition, OrdersLinesByHeightAloneAndLeavesGapsForDroppedLines) {
  const auto text = TextRecognition::recognizedText({
      line("left", boxes(1, 20.5)),       // lower by half a pixel
      line("right", boxes(1, 20, 500)),   // higher: line 0 despite its column
      line("quiet", boxes(1, 40), 0.29f), // dropped: line 2 leaves a gap
      line("edge", boxes(1, 60), 0.3f),   // exactly at the floor: kept
      line("tieRight", boxes(1, 80, 300)),
      line("tieLeft", boxes(1, 80, 100)), // same centre: left edge decides
      line("nan", boxes(1, 100), std::nanf("")),
  });
  QStringList order;
  QList<int> lines;
  for (const auto &w : text.words) {
    order.push_back(w.text);
    lines.push_back(w.line);
  }
  EXPECT_EQ(order, QStringList({"right", "left", "edge", "tieLeft", "tieRight"}));
  EXPECT_EQ(lines, QList<int>({0, 1, 3, 4, 5}));
}

TEST(TextRecognition, DropsWordsWithoutAUsableBoxAndKeepsTheirNumbers) {
  QList<geom::Rect> rects = boxes(4, 0);
  rects[1] = geom::Rect();                                                       // no box
  rects[2] = geom::Rect(100, 0, 0, 10);                                          // empty box
  const auto text = TextRecognition::recognizedText({line("a b c d e", rects)}); // "e" has no box at all
  ASSERT_EQ(text.words.size(), 2);
  EXPECT_EQ(text.words[0].order, 0);
  EXPECT_EQ(text.words[1].text, "d");
  EXPECT_EQ(text.words[1].order, 3);
  // Top-left pixel space: a word at the top of the image keeps a small y.
  EXPECT_EQ(TextRecognition::recognizedText({line("top", {geom::Rect(3, 2, 10, 8)})}).words[0].rect.y(), 2);
}

// The other endings are checked through the document.
TEST(TextRecognition, NoWordsSaysHowToHighlightManually) {
  EXPECT_EQ(TextRecognition::Outcome{}.statusText(), "No text found. Use Marker or Area to highlight manually.");
}

TEST(TextRecognition, BackgroundRecognitionDeliversOnTheMainThreadInSubmissionOrder) {
  auto first = std::make_shared<FakeTextRecognizer>();
  auto second = std::make_shared<FakeTextRecognizer>();
  first->setObservations({line("hello world", boxes(2, 5))});
  second->setFailure(QString("Language data missing."));
  first->hold();
  QObject receiver;
  QStringList arrivals;
  std::optional<TextRecognition::Outcome> firstOutcome, secondOutcome;
  const QImage image(40, 30, QImage::Format_ARGB32_Premultiplied);
  TextRecognition::recognizeInBackground(first, image, &receiver, [&](TextRecognition::Outcome o) {
    EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
    arrivals.push_back("first");
    firstOutcome = std::move(o);
  });
  TextRecognition::recognizeInBackground(second, image, &receiver, [&](TextRecognition::Outcome o) {
    arrivals.push_back("second");
    secondOutcome = std::move(o);
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return first->callCount() == 1; }, 10000));
  QThread::msleep(50);
  EXPECT_EQ(second->callCount(), 0) << "the queue is serial";
  first->release();
  ASSERT_TRUE(QTest::qWaitFor([&] { return arrivals.size() == 2; }, 10000));
  EXPECT_EQ(arrivals, QStringList({"first", "second"}));
  EXPECT_EQ(first->lastImageSize(), QSize(40, 30));
  ASSERT_EQ(firstOutcome->text.words.size(), 2);
  EXPECT_FALSE(firstOutcome->failed);
  EXPECT_TRUE(secondOutcome->failed);
  EXPECT_EQ(secondOutcome->statusText(), "Text recognition failed: Language data missing.");
}

TEST(TextRecognition, AnOutcomeForADestroyedReceiverIsDropped) {
  auto recognizer = std::make_shared<FakeTextRecognizer>();
  recognizer->hold();
  auto receiver = std::make_unique<QObject>();
  bool delivered = false;
  TextRecognition::recognizeInBackground(recognizer, QImage(4, 4, QImage::Format_RGB32), receiver.get(),
                                         [&](TextRecognition::Outcome) { delivered = true; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return recognizer->callCount() == 1; }, 10000));
  receiver.reset();
  recognizer->release();
  TextRecognizer::waitForBackgroundWork();
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_FALSE(delivered);
}

TEST(TextRecognition, QuittingWhileOrAfterRecognitionRunsEndsCleanly) {
  // Each run leaves the application at a different moment of the work:
  // engines starting, pages being read, results being merged, and last just
  // after the outcome arrived, with the engines idle. Under AddressSanitizer
  // a recogniser or engine ended after Tesseract's globals fails the run.
  QStringList arguments;
  for (int run = 0; run < 14; ++run)
    arguments.push_back(QString::number(run * run * 7));
  arguments += {"finished", "finished"};
  int quitEarly = 0;
  for (const QString &argument : arguments) {
    QProcess driver;
    driver.start(CREL_QUIT_DURING_RECOGNITION, {argument});
    ASSERT_TRUE(driver.waitForFinished(90000)) << "hung at exit: " << qPrintable(argument);
    const QString errors = QString::fromUtf8(driver.readAllStandardError());
    EXPECT_EQ(driver.exitStatus(), QProcess::NormalExit) << qPrintable(argument) << ": " << qPrintable(errors);
    EXPECT_EQ(driver.exitCode(), 0) << qPrintable(argument) << ": " << qPrintable(errors);
    const QByteArray ending = driver.readAllStandardOutput().trimmed();
    if (argument == "finished") {
      EXPECT_EQ(ending, "finished");
    }
    quitEarly += ending == "quit";
  }
  EXPECT_GE(quitEarly, 7) << "most timed runs should leave while the recognition is still running";
}
