#include "DelegateFixture.h"

#include "app/ForwardedRequests.h"

#include <QDeadlineTimer>

#include <atomic>
#include <chrono>
#include <thread>

using namespace crel;
using namespace crel::test;
using Command = ForwardedLaunch::Command;

namespace {

// What the instance said to one launch, in order: "accepted", "yes", "no".
struct Said {
  QStringList words;
  SingleInstance::Reply reply() {
    return {[this] { words << "accepted"; }, [this](bool ok) { words << (ok ? "yes" : "no"); }};
  }
};

ForwardedLaunch within(Command command, qint64 ms, QStringList paths = {}) {
  ForwardedLaunch request{command, std::move(paths)};
  request.deadline = QDeadlineTimer(ms).deadline();
  return request;
}

} // namespace

// Reading outlasts the launch's deadline: a slow disk, a large HEIC. Taken in
// time, the request is carried out to the end and its launch hears yes.
TEST_F(Delegate, AcceptedFilesOpenHoweverLongReadingThemTakes) {
  std::atomic<int> reads = 0;
  reader = [&reads](const QString &path, ImageOpening::Budget &) {
    ++reads;
    std::this_thread::sleep_for(std::chrono::milliseconds(path.endsWith("slow.png") ? 1500 : 0));
    return ImageOpening::Outcome{filledImage({40, 30}, Qt::red, QImage::Format_RGB32), {}, ImageOpening::Format::png};
  };
  AppDelegate &app = make();
  app.launch({true, false, true});
  ForwardedRequests requests(app, capture);

  struct Case {
    const char *name;
    qint64 deadlineMs;
    QStringList paths;
    QStringList said;
    int editors;
  };
  const std::vector<Case> cases{
      {"read past the deadline", 1800, {"/d/slow.png", "/d/b.png"}, {"accepted", "yes"}, 2},
      {"read in time", 20'000, {"/d/c.png"}, {"accepted", "yes"}, 1},
      // Its launch has given up, or would before an answer reached it.
      {"arrived too late", 900, {"/d/late.png"}, {"no"}, 0},
  };
  for (const Case &c : cases) {
    const size_t before = app.editors().size();
    const int readsBefore = reads;
    Said said;
    requests.handle(within(Command::open, c.deadlineMs, c.paths), said.reply());
    EXPECT_TRUE(QTest::qWaitFor([&] { return said.words.size() == c.said.size(); }, 10'000)) << c.name;
    EXPECT_EQ(said.words, c.said) << c.name;
    EXPECT_EQ(app.editors().size() - before, size_t(c.editors)) << c.name;
    if (c.editors == 0) {
      EXPECT_EQ(reads, readsBefore) << c.name << ": a dropped request reads nothing";
    }
  }
}

// A capture is about the moment: one its launch gave up on never freezes the
// displays; one waiting for the launch's alert to be answered freezes them then.
TEST_F(Delegate, ALateCaptureRequestIsStillDropped) {
  AppDelegate &app = make();
  app.launch({true, false, true});
  ForwardedRequests requests(app, capture);
  Said said;
  requests.handle(within(Command::capture, 500, {}), said.reply());
  EXPECT_EQ(said.words, QStringList{"no"});
  EXPECT_EQ(capture.phase(), CaptureCoordinator::Phase::idle);
  EXPECT_FALSE(pendingStills);

  said.words.clear();
  requests.handle(within(Command::capture, 20'000, {}), said.reply());
  EXPECT_TRUE(said.words.isEmpty());
  ASSERT_TRUE(answerAlerts());
  ASSERT_TRUE(QTest::qWaitFor([&] { return bool(pendingStills); }));
  pendingStills({CaptureSnapshot{1, geom::Rect(0, 0, 800, 600), filledImage({800, 600}, Qt::gray)}}, nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !said.words.isEmpty(); }));
  EXPECT_EQ(said.words, QStringList{"yes"});
  capture.cancel();
}

// Requests of large images against the memory the process has left: each
// request opens what fits, in order, and names the rest in its one alert;
// what a request held is free again for the next one.
TEST_F(Delegate, FilesOverTheMemoryBudgetAreRefusedInTheOneAlert) {
  // Every file claims 80 megapixels but a "small" one; one named "nomem"
  // cannot be allocated.
  reader = [](const QString &path, ImageOpening::Budget &budget) {
    if (!budget.admit(path.contains("small") ? 40 * 30 : 80e6))
      return ImageOpening::Outcome{{}, ImageOpening::Problem::noMemory, ImageOpening::Format::png};
    if (path.contains("nomem"))
      return ImageOpening::Outcome{{}, ImageOpening::Problem::noMemory, ImageOpening::Format::png};
    return ImageOpening::Outcome{filledImage({40, 30}, Qt::red, QImage::Format_RGB32), {}, ImageOpening::Format::png};
  };
  const ImageOpening::Budget::Cost one = ImageOpening::Budget::cost(80e6);
  // Room for three such images open and one of them saving, and a little.
  const ImageOpening::Budget::Space three{one.steady.memory * 3 + one.transient.memory + 1000,
                                          one.steady.addressSpace * 3 + one.transient.addressSpace + 1000};
  ImageOpening::Budget::Space room = three;
  memoryRoom = [&room] { return room; };
  AppDelegate &app = make();
  app.launch({true, false, true});
  ForwardedRequests requests(app, capture);
  QStringList alerts;
  QObject::connect(&app, &AppDelegate::alertShown, [&](const QString &text) { alerts << text; });
  const auto files = [](const QString &stem, int count) {
    QStringList paths;
    for (int i = 1; i <= count; ++i)
      paths << QString("/d/%1-%2.png").arg(stem).arg(i);
    return paths;
  };
  const QString memory = "There is not enough memory to open more images now.";
  const QString closeEditors = memory + " Closing some editors frees memory.";
  struct Case {
    const char *name;
    QStringList paths;
    QStringList said;
    int editors;
    QStringList refused; // named in the alert as short of memory
    QString advice = {};
    // An 80-megapixel editor is open, and the room left is its next save's.
    bool largeEditorOpen = false;
  };
  const std::vector<Case> cases{
      // Closing editors would free nothing.
      {"no editor open", {"/d/nomem.png"}, {"accepted", "no"}, 0, {"/d/nomem.png"}, memory},
      {"within the budget", files("a", 3), {"accepted", "yes"}, 3, {}},
      {"over it", files("b", 20), {"accepted", "yes"}, 3, files("b", 10).mid(3)},
      {"an allocation failure while decoding", {"/d/c.png", "/d/nomem.png"}, {"accepted", "yes"}, 1, {"/d/nomem.png"}},
      {"a small file that would take an open editor's save",
       {"/d/small.png"},
       {"accepted", "no"},
       0,
       {"/d/small.png"},
       closeEditors,
       true},
  };
  for (const Case &c : cases) {
    if (c.largeEditorOpen) {
      present(std::make_unique<CrelDocument>(filledImage({10'000, 8'000}, Qt::white, QImage::Format_RGB32),
                                             AnnotationPreferences::shared()));
      room = one.transient;
    }
    const size_t before = app.editors().size();
    alerts.clear();
    Said said;
    requests.handle(within(Command::open, 20'000, c.paths), said.reply());
    EXPECT_TRUE(QTest::qWaitFor([&] { return said.words.size() == c.said.size(); }, 10'000)) << c.name;
    EXPECT_EQ(said.words, c.said) << c.name;
    EXPECT_EQ(app.editors().size() - before, size_t(c.editors)) << c.name;
    if (c.refused.isEmpty()) {
      EXPECT_TRUE(alerts.isEmpty()) << c.name << ": " << alerts.join('\n').toStdString();
      continue;
    }
    ASSERT_EQ(alerts.size(), 1) << c.name;
    for (const QString &path : c.refused)
      EXPECT_TRUE(alerts[0].contains(path + ": not enough memory") ||
                  alerts[0].contains(path + " could not be opened: not enough memory"))
          << c.name << ": " << path.toStdString() << "\n"
          << alerts[0].toStdString();
    EXPECT_TRUE(alerts[0].endsWith("\n\n" + (c.advice.isEmpty() ? closeEditors : c.advice)))
        << c.name << ": " << alerts[0].toStdString();
  }
}
