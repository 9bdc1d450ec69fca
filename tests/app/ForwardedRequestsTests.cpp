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
  reader = [&reads](const QString &path) {
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

// A capture is about the moment: one its launch gave up on never freezes the displays.
TEST_F(Delegate, ALateCaptureRequestIsStillDropped) {
  AppDelegate &app = make();
  app.launch({true, false, true});
  ForwardedRequests requests(app, capture);
  Said said;
  requests.handle(within(Command::capture, 500, {}), said.reply());
  EXPECT_EQ(said.words, QStringList{"no"});
  EXPECT_EQ(capture.phase(), CaptureCoordinator::Phase::idle);
  EXPECT_FALSE(pendingStills);
}
