#include "chrome/ChromeButton.h"
#include "chrome/ChromeClock.h"
#include "chrome/ChromeIconButton.h"
#include "chrome/HintController.h"
#include "chrome/HintLayer.h"
#include "chrome/ShortcutText.h"

#include <QCoreApplication>
#include <QEnterEvent>

#include <gtest/gtest.h>

using namespace crel;

namespace {

void send(QWidget *w, QEvent::Type type) {
  if (type == QEvent::Enter) {
    QEnterEvent event(QPointF(4, 4), QPointF(4, 4), QPointF(4, 4));
    QCoreApplication::sendEvent(w, &event);
  } else {
    QEvent event(type);
    QCoreApplication::sendEvent(w, &event);
  }
}

// Two neighbouring controls under one controller on a manual clock; every
// visible value the controller announces is recorded.
struct HintScene {
  ManualChromeClock clock;
  HintController hints{&clock};
  QWidget window;
  QWidget *a = new QWidget(&window), *b = new QWidget(&window);
  std::vector<std::optional<QString>> seen;
  HintScene() {
    window.resize(400, 200);
    a->setGeometry(10, 10, 32, 32);
    b->setGeometry(42, 10, 32, 32);
    hints.attach(a, "a", {"Alpha", std::nullopt, ChromeHint::Edge::bottom});
    hints.attach(b, "b", {"Beta", QStringLiteral("Ctrl+B"), ChromeHint::Edge::bottom});
    QObject::connect(&hints, &HintController::visibleChanged, [this] { seen.push_back(hints.visible()); });
  }
  // Events of one pointer move, then the event-loop turn that applies them.
  void move(std::initializer_list<std::pair<QWidget *, QEvent::Type>> events) {
    for (const auto &[w, type] : events)
      send(w, type);
    QCoreApplication::processEvents();
  }
};

TEST(HintController, ShowsAfterTheDelayOnlyWhileStillHovered) {
  HintScene s;
  s.move({{s.a, QEvent::Enter}});
  s.clock.advance(HintController::delayMs - 1);
  EXPECT_EQ(s.hints.visible(), std::nullopt);
  s.clock.advance(1);
  EXPECT_EQ(s.hints.visible(), "a");

  // Leaving before the delay cancels; so does moving on to another control,
  // whose own delay then runs from its entry.
  HintScene t;
  t.move({{t.a, QEvent::Enter}});
  t.clock.advance(200);
  t.move({{t.a, QEvent::Leave}});
  t.clock.advance(400);
  EXPECT_EQ(t.hints.visible(), std::nullopt);
  t.move({{t.a, QEvent::Enter}});
  t.clock.advance(200);
  t.move({{t.a, QEvent::Leave}, {t.b, QEvent::Enter}});
  t.clock.advance(200);
  EXPECT_EQ(t.hints.visible(), std::nullopt);
  t.clock.advance(150);
  EXPECT_EQ(t.hints.visible(), "b");
  EXPECT_TRUE(t.seen == std::vector<std::optional<QString>>{QStringLiteral("b")});
}

TEST(HintController, NeighbourSwitchesAtOnceAndTheWarmPeriodSkipsTheDelay) {
  HintScene s;
  s.move({{s.a, QEvent::Enter}});
  s.clock.advance(HintController::delayMs);
  // Qt sends the old control's Leave before the new one's Enter.
  s.move({{s.a, QEvent::Leave}, {s.b, QEvent::Enter}});
  EXPECT_EQ(s.hints.visible(), "b");
  EXPECT_TRUE((s.seen == std::vector<std::optional<QString>>{QStringLiteral("a"), QStringLiteral("b")}))
      << "no hide between neighbours";

  s.move({{s.b, QEvent::Leave}});
  EXPECT_EQ(s.hints.visible(), std::nullopt);
  s.clock.advance(HintController::warmMs - 1);
  s.move({{s.a, QEvent::Enter}});
  EXPECT_EQ(s.hints.visible(), "a") << "re-entry within the warm period";

  s.move({{s.a, QEvent::Leave}});
  s.clock.advance(HintController::warmMs + 1);
  s.move({{s.b, QEvent::Enter}});
  EXPECT_EQ(s.hints.visible(), std::nullopt) << "cold again";
  s.clock.advance(HintController::delayMs);
  EXPECT_EQ(s.hints.visible(), "b");

  // A stale Leave of a control that is no longer hovered changes nothing.
  s.move({{s.a, QEvent::Leave}});
  EXPECT_EQ(s.hints.hovered(), "b");
}

TEST(HintController, PreviewHintShowsUntilTheFirstHoverChange) {
  HintScene s;
  s.hints.setPreviewHint("b");
  EXPECT_EQ(s.hints.visible(), "b");
  ASSERT_TRUE(s.hints.visibleAnchor());
  EXPECT_EQ(s.hints.visibleAnchor()->control, s.b);
  s.move({{s.a, QEvent::Enter}});
  EXPECT_EQ(s.hints.visible(), "a") << "a shown hint switches at once";
}

// A bar with two forms (wide and compact) attaches each control twice under
// one identifier; only one form shows at a time.
TEST(HintController, TheBubbleGoesToTheShownControlOfThoseSharingAnIdentifier) {
  HintScene s;
  auto *other = new QWidget(&s.window);
  other->setGeometry(200, 100, 32, 32);
  other->hide();
  s.hints.attach(other, "a", {"Alpha", std::nullopt, ChromeHint::Edge::top});
  const auto anchor = [&] { return s.hints.visibleAnchor() ? s.hints.visibleAnchor()->control : nullptr; };
  s.hints.setPreviewHint("a");
  EXPECT_EQ(anchor(), s.a) << "shown without hovering: the control on show";
  EXPECT_EQ(s.hints.visibleAnchor()->hint.edge, ChromeHint::Edge::bottom);

  // The forms swap: the hovered control carries the bubble, with its own hint.
  s.a->hide();
  other->show();
  s.move({{other, QEvent::Enter}});
  EXPECT_EQ(anchor(), other);
  EXPECT_EQ(s.hints.visibleAnchor()->hint.edge, ChromeHint::Edge::top);
  s.hints.detach(other);
  EXPECT_EQ(anchor(), s.a);
}

TEST(HintBubble, PlacementEstimatesClampsAndOffsets) {
  const ChromeHint plain{"Abcdefghij", std::nullopt, ChromeHint::Edge::bottom};
  const ChromeHint chip{"Abcdefghij", QStringLiteral("V"), ChromeHint::Edge::top};
  EXPECT_DOUBLE_EQ(2 * HintBubble::estimatedHalfWidth(plain), 87);
  EXPECT_DOUBLE_EQ(2 * HintBubble::estimatedHalfWidth(chip), 117);

  struct Row {
    ChromeHint hint;
    QRectF control;
    double width;
    QPointF expected;
  };
  // Narrow titles, whose bubbles are no wider than the estimate.
  const ChromeHint narrow{"iiiiiiiiii", std::nullopt, ChromeHint::Edge::bottom};
  const ChromeHint narrowChip{"iiiiiiiiii", QStringLiteral("V"), ChromeHint::Edge::top};
  const double hp = HintBubble::estimatedHalfWidth(narrow);
  const Row rows[] = {
      {narrow, {300, 10, 32, 32}, 900, {316, 64}},          // centred, 22 below
      {narrowChip, {300, 500, 32, 32}, 900, {316, 478}},    // 22 above
      {narrow, {0, 10, 32, 32}, 900, {hp + 8, 64}},         // left clamp
      {narrow, {880, 10, 20, 20}, 900, {900 - hp - 8, 52}}, // right clamp
      {narrow, {10, 10, 20, 20}, 60, {60 - hp - 8, 52}},    // too narrow: the right edge wins
  };
  for (const Row &r : rows) {
    const QSizeF measured = HintBubble::size(r.hint);
    ASSERT_LE(measured.width() / 2, HintBubble::estimatedHalfWidth(r.hint)) << "the estimate decides here";
    EXPECT_EQ(HintBubble::centre(r.hint, r.control, r.width), r.expected);
  }
  // The estimate is only for placement: the bubble takes its title's width.
  EXPECT_GT(HintBubble::size(plain).width(), HintBubble::size(narrow).width());
  // A Linux shortcut wider than the estimate still keeps the bubble inside.
  const ChromeHint wide{"Redo", QStringLiteral("Ctrl+Shift+Z"), ChromeHint::Edge::bottom};
  const QPointF c = HintBubble::centre(wide, {0, 0, 32, 32}, 400);
  EXPECT_GE(c.x() - HintBubble::size(wide).width() / 2, 8 - 1e-9);
  // A long help text wraps, is kept inside by its measured width, and keeps
  // the one-line bubble's gap to its control.
  const ChromeHint help{QStringLiteral("Saved automatically to a folder. ").repeated(4), std::nullopt,
                        ChromeHint::Edge::top};
  const QSizeF hs = HintBubble::size(help);
  EXPECT_LE(hs.width(), 320 + 18);
  EXPECT_GT(hs.height(), 27);
  const QPointF hc = HintBubble::centre(help, {860, 500, 32, 32}, 900);
  EXPECT_DOUBLE_EQ(hc.x(), 900 - hs.width() / 2 - 8);
  EXPECT_DOUBLE_EQ(hc.y() + hs.height() / 2, 500 - 22 + 27 / 2.0);
}

TEST(HintLayer, NeverTakesClicksAndFollowsItsControl) {
  ManualChromeClock clock;
  HintController hints(&clock);
  QWidget window;
  window.resize(300, 200);
  auto *bar = new QWidget(&window);
  bar->setGeometry(100, 10, 40, 40);
  auto *undo = new ChromeIconButton(
      "arrow.uturn.backward", "undo",
      {"Undo", ShortcutText::forLinux(QString::fromUtf8("\u2318Z")), ChromeHint::Edge::bottom}, &hints, bar);
  undo->move(4, 4);
  auto *below = new ChromeButton(&window);
  below->setGeometry(80, 50, 80, 40);
  auto *layer = new HintLayer(hints, &window);
  layer->setGeometry(window.rect());
  layer->raise();
  EXPECT_EQ(undo->accessibleName(), "Undo");

  hints.setPreviewHint("undo");
  const auto centre = layer->bubbleCentre();
  ASSERT_TRUE(centre);
  EXPECT_EQ(*centre, QPointF(120, 68));
  EXPECT_EQ(window.childAt(centre->toPoint()), below) << "the bubble lets clicks through";
  bar->move(100, 60);
  EXPECT_EQ(layer->bubbleCentre(), QPointF(120, 118));
}

TEST(ShortcutText, MacSignsBecomeLinuxNames) {
  const std::pair<const char *, const char *> rows[] = {
      {"\u2318Z", "Ctrl+Z"},
      {"\u21e7\u2318Z", "Ctrl+Shift+Z"},
      {"\u2318\u2212", "Ctrl+\u2212"},
      {"\u2325\u2190", "Alt+\u2190"},
      {"\u232b", "Del"},
      {"\u2303\u2325\u21e7\u2318K", "Ctrl+Alt+Shift+Super+K"},
      {"V", "V"},
  };
  for (const auto &[design, expected] : rows)
    EXPECT_EQ(ShortcutText::forLinux(QString::fromUtf8(design)), QString::fromUtf8(expected)) << design;
}

} // namespace
