#include "CaptureTestFixtures.h"

#include "capture/CaptureCoordinator.h"
#include "capture/RegionSelectionView.h"
#include "capture/SilentCapturePanel.h"
#include "platform/display/WindowServerInfo.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace crel;
using namespace crel::test;
using Phase = CaptureCoordinator::Phase;

namespace {

// Lets queued deliveries and deferred deletes run.
void settle() {
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

// A capture driven by hand: the stills come when the test says so, and the
// panels never reach the screen.
class Coordinator : public ::testing::Test {
protected:
  Coordinator()
      : coordinator(
            [this](QObject *, CaptureSnapshot::Completion done) {
              ++requests;
              pending = std::move(done);
              request = SnapshotRequest();
              return request;
            },
            [this](const geom::Rect &rect) {
              if (!panelsAllowed)
                ADD_FAILURE() << "a panel was made";
              auto panel = std::make_shared<SilentCapturePanel>(rect);
              panels.push_back(panel);
              return panel;
            }) {
    coordinator.setWindowServer(&windowServer);
    coordinator.setOnImage(nullptr, [this](const QImage &image, const CaptureSource &source) {
      images.push_back(image);
      sources.push_back(source);
    });
    coordinator.setOnError(
        nullptr, [this](const std::exception_ptr &e) { errors.push_back(CaptureCoordinator::errorMessage(e)); });
    coordinator.setOnPermissionRequired(nullptr, [this] { ++permissionRequests; });
  }

  // Answers the waiting request, also when it was cancelled meanwhile: the
  // coordinator must drop a late answer itself.
  void resume(std::vector<CaptureSnapshot> snapshots, std::exception_ptr error = nullptr) {
    ASSERT_TRUE(pending);
    auto done = std::move(pending);
    pending = nullptr;
    done(std::move(snapshots), error);
  }

  RegionSelectionView *view(size_t i) { return panels.at(i)->contentView(); }

  void startSelecting(std::vector<CaptureSnapshot> snapshots = {test::primarySnapshot()}) {
    coordinator.begin();
    resume(std::move(snapshots));
    ASSERT_EQ(coordinator.phase(), Phase::selecting);
  }

  FakeWindowServerInfo windowServer;
  int requests = 0;
  CaptureSnapshot::Completion pending;
  SnapshotRequest request;
  bool panelsAllowed = true;
  std::vector<std::shared_ptr<SilentCapturePanel>> panels;
  std::vector<QImage> images;
  std::vector<CaptureSource> sources;
  std::vector<QString> errors;
  int permissionRequests = 0;
  CaptureCoordinator coordinator;
};

} // namespace

// How a selection is cropped and delivered once is the self-test's; here,
// what it leaves behind.
TEST_F(Coordinator, ADeliveredSelectionNamesItsSourceAndClosesEveryPanel) {
  windowServer.front = RunningApplication{7, "Viewer", 9};
  windowServer.windows = {{9, 7, 0, QString("Quarterly report")}};
  startSelecting({test::primarySnapshot(), test::secondarySnapshot()});
  QPointer<RegionSelectionView> first = view(0), second = view(1);
  drag(second, {20, 320}, {120, 400});
  settle();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].size(), QSize(100, 80));
  EXPECT_EQ(sources[0], (CaptureSource{"Viewer", "Quarterly report"}));
  for (const auto &panel : panels)
    EXPECT_TRUE(panel->closed);
  EXPECT_FALSE(first) << "views are released with their panels";
  EXPECT_FALSE(second);
}

// Destroying a display-sized window costs more than the editor's first
// frame: the closed panels of a delivery stay until the editor says its
// frame is out, a new capture begins, or a while has passed.
TEST_F(Coordinator, ThePanelsOfADeliveryAreDestroyedOnlyOnceTheEditorHasItsFrame) {
  const std::vector<std::pair<const char *, std::function<void()>>> rows{
      {"the editor's frame is out", [&] { coordinator.tearDownPanels(); }},
      {"a new capture begins", [&] { coordinator.begin(); }},
      {"nobody says so", [&] { QTest::qWait(CaptureCoordinator::panelTeardownDelayMs + 200); }}};
  for (const auto &[name, event] : rows) {
    SCOPED_TRACE(name);
    coordinator.cancel();
    panels.clear();
    startSelecting({test::primarySnapshot(), test::secondarySnapshot()});
    drag(view(0), {20, 30}, {140, 100});
    settle();
    ASSERT_EQ(coordinator.phase(), Phase::idle);
    for (const auto &panel : panels) {
      EXPECT_TRUE(panel->closed && !panel->presented && !panel->contentView());
      EXPECT_EQ(panel.use_count(), 2) << "the coordinator still holds it";
    }
    event();
    for (const auto &panel : panels)
      EXPECT_EQ(panel.use_count(), 1);
  }
  // Without an image, nothing is worth waiting for.
  panels.clear();
  startSelecting();
  coordinator.cancel();
  EXPECT_EQ(panels[0].use_count(), 1);
}

TEST_F(Coordinator, WithoutADisplayTheCaptureEndsWithTheNoDisplayError) {
  coordinator.begin();
  resume({});
  EXPECT_EQ(coordinator.phase(), Phase::idle);
  EXPECT_EQ(errors, std::vector<QString>{"No display is available to capture."});
  EXPECT_TRUE(panels.empty());
}

// A selection that cannot become a document, because it misses the display
// or because the editor could never save it, opens no editor.
TEST_F(Coordinator, ACropFailureClosesThePanelsAndReportsTheError) {
  // Over the export limit (169 megapixels); one bit a pixel keeps it cheap.
  QImage huge(13'000, 13'000, QImage::Format_Mono);
  huge.fill(0);
  const CaptureSnapshot hugeSnapshot{44, geom::Rect(0, 0, 6'500, 6'500), huge};
  const struct {
    const char *name;
    CaptureSnapshot snapshot;
    geom::Rect selection;
    QString error;
  } cases[]{
      {"outside the display", test::primarySnapshot(), geom::Rect(900, 900, 40, 40),
       "Select an area inside the captured display."},
      {"larger than can be saved", hugeSnapshot, geom::Rect(0, 0, 6'500, 6'500),
       "This area is larger than Crel can save. Select a smaller area."},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    errors.clear();
    startSelecting({c.snapshot});
    view(panels.size() - 1)->complete(c.selection);
    settle();
    EXPECT_EQ(errors, std::vector<QString>{c.error});
    EXPECT_TRUE(images.empty());
    EXPECT_EQ(coordinator.phase(), Phase::idle);
    EXPECT_TRUE(panels.back()->closed);
  }
}

TEST_F(Coordinator, CallbacksAreDroppedOnceTheirOwnerIsGone) {
  auto owner = std::make_unique<QObject>();
  int calls = 0;
  coordinator.setOnImage(owner.get(), [&](const QImage &, const CaptureSource &) { ++calls; });
  startSelecting();
  drag(view(0), {20, 30}, {140, 100});
  owner.reset();
  settle();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(coordinator.phase(), Phase::idle);
}

TEST_F(Coordinator, TheKeyboardGoesToThePanelUnderThePointerElseTheFirst) {
  CaptureSnapshot under = test::secondarySnapshot();
  under.screenFrame = geom::Rect::fromQRectF(QRectF(QCursor::pos() - QPointF(10, 10), QSizeF(800, 600)));
  startSelecting({test::primarySnapshot(), under});
  EXPECT_EQ(panels[0]->keyRequests, 0);
  EXPECT_EQ(panels[1]->keyRequests, 1);
  coordinator.cancel();

  startSelecting({test::primarySnapshot(), test::secondarySnapshot()});
  EXPECT_EQ(panels[2]->keyRequests, 1);
  // A press makes its panel key.
  sendMouse(view(3), QEvent::MouseButtonPress, {10, 10});
  EXPECT_EQ(panels[3]->keyRequests, 1);
}

// Where no overlay gets the keys, one more panel takes them: it starts on the
// display the keyboard would have gone to and shows the display the
// compositor puts it on.
TEST_F(Coordinator, AKeyPanelTakesTheKeyboardAndSelectsOnTheDisplayItIsPlacedOn) {
  std::vector<std::shared_ptr<SilentCapturePanel>> keyPanels;
  coordinator.setKeyPanelFactory([&](const geom::Rect &rect) {
    keyPanels.push_back(std::make_shared<SilentCapturePanel>(rect));
    return keyPanels.back();
  });
  startSelecting({test::primarySnapshot(), test::secondarySnapshot()});
  ASSERT_EQ(keyPanels.size(), 1u);
  SilentCapturePanel &key = *keyPanels[0];
  EXPECT_TRUE(key.presented);
  EXPECT_EQ(key.frame(), test::primarySnapshot().screenFrame);
  EXPECT_EQ(key.keyRequests, 1);
  EXPECT_EQ(panels[0]->keyRequests + panels[1]->keyRequests, 0);
  // X11 routes the pointer by its own stacking, where the key panel is on
  // top: the overlay of its display leaves, and comes back when it moves.
  key.place(test::secondarySnapshot().screenFrame);
  key.place(test::primarySnapshot().screenFrame);
  EXPECT_FALSE(panels[0]->presented);
  EXPECT_TRUE(panels[1]->presented);
  key.place(test::secondarySnapshot().screenFrame);
  EXPECT_TRUE(panels[0]->presented);
  EXPECT_FALSE(panels[1]->presented);
  ASSERT_TRUE(key.contentView());
  // 100 × 80 points of the 1× display, not of the 2× one it started on.
  drag(key.contentView(), {20, 20}, {120, 100});
  settle();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].size(), QSize(100, 80));
  EXPECT_TRUE(key.closed);
}

TEST_F(Coordinator, DestroyingTheCoordinatorClosesItsPanels) {
  auto owned = std::make_unique<CaptureCoordinator>(
      [](QObject *, CaptureSnapshot::Completion done) {
        done({test::primarySnapshot()}, nullptr);
        return SnapshotRequest();
      },
      [this](const geom::Rect &rect) {
        auto panel = std::make_shared<SilentCapturePanel>(rect);
        panels.push_back(panel);
        return panel;
      });
  owned->setWindowServer(&windowServer);
  owned->begin();
  ASSERT_EQ(owned->phase(), Phase::selecting) << "a provider that answers at once is handled too";
  ASSERT_EQ(panels.size(), 1u);
  owned.reset();
  EXPECT_FALSE(panels[0]->presented);
  EXPECT_TRUE(panels[0]->closed);
}

namespace {

bool becomesActive(QWidget *w) {
  w->activateWindow();
  return QTest::qWaitFor([&] { return QApplication::activeWindow() == w; }, 2000);
}

struct ActivationCounter : QObject {
  int count = 0;
  bool eventFilter(QObject *, QEvent *e) override {
    count += e->type() == QEvent::WindowActivate;
    return false;
  }
};

} // namespace

TEST_F(Coordinator, EscapeGivesTheKeyWindowBackOnceUnlessItClosedOrMinimised) {
  QWidget editor, other;
  editor.setGeometry(10, 10, 200, 100);
  other.setGeometry(300, 10, 200, 100);
  editor.show();
  other.show();
  const struct {
    const char *name;
    std::function<void()> meanwhile;
    bool escape; // else an image, for which the editor about to open takes the keyboard
    bool back;
  } rows[] = {
      {"escape", {}, true, true},
      {"an image", {}, false, false},
      {"closed (and shown again)",
       [&] {
         editor.close();
         editor.show();
       },
       true, false},
      {"minimised", [&] { editor.showMinimized(); }, true, false},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    editor.showNormal();
    ASSERT_TRUE(becomesActive(&editor));
    startSelecting();
    if (row.meanwhile)
      row.meanwhile();
    ASSERT_TRUE(becomesActive(&other)); // something took the keyboard meanwhile
    ActivationCounter counter;
    editor.installEventFilter(&counter);
    if (row.escape)
      pressKey(view(panels.size() - 1), Qt::Key_Escape);
    else
      drag(view(panels.size() - 1), {20, 30}, {140, 100});
    settle();
    if (row.back) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &editor; }, 2000));
    }
    settle();
    EXPECT_EQ(counter.count, row.back ? 1 : 0);
    EXPECT_EQ(QApplication::activeWindow(), row.back ? &editor : &other);
    editor.removeEventFilter(&counter);
  }
}

TEST(CaptureTexts, AreLookedUpInTheProjectTranslationContext) {
  crel::test::ProjectContextTranslator translator;
  const QString texts[] = {
      RegionSelectionView::hintText(),
      CaptureCoordinator::errorMessage(std::make_exception_ptr(42)),
  };
  for (const QString &text : texts)
    EXPECT_TRUE(text.startsWith("[Crel] ")) << qPrintable(text);
}
