#include "ChromeSampling.h"

#include "chrome/BrandSwitch.h"
#include "chrome/BrandTextButton.h"
#include "chrome/ChromeButton.h"
#include "chrome/ChromeColors.h"
#include "chrome/InkSwatch.h"
#include "chrome/PlainPressButton.h"
#include "chrome/PrimaryActionButton.h"
#include "chrome/SecondaryActionButton.h"
#include "chrome/ShadowCaster.h"

#include <QAccessible>
#include <QEnterEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

using namespace crel;
using crel::test::composite;
using crel::test::near;

namespace {

// A white board the buttons sit on, so every fill is read over white; like
// every surface under chrome it paints its children's shadows.
class ShadowBoard : public QWidget {
protected:
  void paintEvent(QPaintEvent *) override {
    QPainter painter(this);
    ShadowCaster::paintChildShadows(painter, *this);
  }
};

struct Board {
  ShadowBoard widget;
  Board() {
    widget.resize(200, 80);
    test::paintWhite(widget);
  }
  QColor at(QWidget *child, QPoint local) { return test::grabImage(widget).pixelColor(child->mapTo(&widget, local)); }
};

void enter(QWidget *w) {
  QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QCoreApplication::sendEvent(w, &event);
}

void leave(QWidget *w) {
  QEvent event(QEvent::Leave);
  QCoreApplication::sendEvent(w, &event);
}

QColor overWhite(QColor color, double alpha) { return composite(ChromeColors::withAlpha(color, alpha), Qt::white); }

TEST(ChromeButton, FillFollowsSelectionThenPressThenHover) {
  const QColor primary = ChromeColors::primary(), black = Qt::black;
  struct Row {
    bool selected, draws, pressed, hovered, enabled;
    QColor expected;
  };
  const Row rows[] = {
      {false, true, false, false, true, Qt::white},
      {false, true, false, true, true, overWhite(black, 0.055)},
      {false, true, true, true, true, overWhite(black, 0.1)},
      {true, true, false, false, true, overWhite(primary, 0.13)},
      {true, true, true, true, true, overWhite(primary, 0.13)},
      {true, false, false, true, true, overWhite(black, 0.055)},
      {true, false, true, false, true, overWhite(black, 0.1)},
      {true, true, false, false, false, overWhite(primary, 0.13 * 0.3)},
      {false, true, true, false, false, Qt::white},
  };
  for (const Row &r : rows) {
    Board board;
    auto *button = new ChromeButton(&board.widget);
    button->setGeometry(10, 10, 32, 32);
    button->setCornerRadius(16);
    button->setSelected(r.selected);
    button->setDrawsSelection(r.draws);
    if (r.hovered)
      enter(button);
    button->setDown(r.pressed);
    button->setEnabled(r.enabled);
    const QColor seen = board.at(button, {16, 16});
    EXPECT_TRUE(near(seen, r.expected)) << r.selected << r.draws << r.pressed << r.hovered << r.enabled << " saw "
                                        << seen.name().toStdString() << " want " << r.expected.name().toStdString();
  }
}

TEST(ChromeButton, LabelIsPrimaryWhenSelected) {
  ChromeButton button("A");
  EXPECT_EQ(button.foreground(), ChromeColors::label());
  button.setSelected(true);
  button.setDrawsSelection(false);
  EXPECT_EQ(button.foreground(), ChromeColors::primary());
}

// A screen reader tells the current tool and ink by the checked state; a
// click only asks, the owner decides what is selected.
TEST(SelectableButtons, SelectionIsTheAccessibleCheckedState) {
  ChromeButton tool("A");
  InkSwatch ink(Qt::red, "Coral");
  ChromeButton undo("U");
  const std::pair<QAbstractButton *, std::function<void(bool)>> rows[] = {
      {&tool, [&](bool on) { tool.setSelected(on); }},
      {&ink, [&](bool on) { ink.setSelected(on); }},
  };
  for (const auto &[button, select] : rows) {
    SCOPED_TRACE(button->metaObject()->className());
    const auto state = [button] { return QAccessible::queryAccessibleInterface(button)->state(); };
    select(false);
    EXPECT_TRUE(state().checkable);
    EXPECT_FALSE(state().checked);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    EXPECT_FALSE(state().checked);
    select(true);
    EXPECT_TRUE(state().checked);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    EXPECT_TRUE(state().checked);
  }
  EXPECT_FALSE(QAccessible::queryAccessibleInterface(&undo)->state().checkable) << "a plain action is no toggle";
}

TEST(ActionButtons, DisabledOpacityAndShadow) {
  Board board;
  auto *primary = new PrimaryActionButton({}, &board.widget);
  primary->setGeometry(10, 10, 80, 32);
  auto *secondary = new SecondaryActionButton({}, &board.widget);
  secondary->setGeometry(100, 10, 80, 32);
  // The centre line: the sheen has faded to nothing there.
  EXPECT_TRUE(near(board.at(primary, {40, 16}), ChromeColors::primary().toRgb(), 3));
  const QColor shadowed = board.at(primary, {40, 35});
  EXPECT_LT(shadowed.lightness(), 250) << "the primary shadow falls below the capsule";

  primary->setEnabled(false);
  secondary->setEnabled(false);
  EXPECT_TRUE(near(board.at(primary, {40, 16}), overWhite(ChromeColors::primary(), 0.45), 3));
  EXPECT_EQ(board.at(primary, {40, 35}), QColor(Qt::white)) << "a disabled primary casts no shadow";
  EXPECT_TRUE(near(board.at(secondary, {40, 16}), overWhite(Qt::white, 0.85 * 0.45), 2));
}

TEST(ActionButtons, SizesGrowWithTheLabelAndNeverWrap) {
  PrimaryActionButton regular("Copy"), compact("Copy"), longer("Copy to Clipboard and Close");
  compact.setCompact(true);
  SecondaryActionButton secondary("Not Now");
  const double copyRegular = QFontMetricsF(regular.font()).horizontalAdvance("Copy");
  const double copyCompact = QFontMetricsF(compact.font()).horizontalAdvance("Copy");
  EXPECT_EQ(regular.sizeHint().height(), 32);
  EXPECT_EQ(compact.sizeHint().height(), 26);
  EXPECT_EQ(secondary.sizeHint().height(), 32);
  EXPECT_EQ(regular.sizeHint().width(), int(std::ceil(copyRegular + 30)));
  EXPECT_EQ(compact.sizeHint().width(), int(std::ceil(copyCompact + 22)));
  EXPECT_LT(copyCompact, copyRegular) << "compact uses the 12-point label";
  EXPECT_GT(longer.sizeHint().width(),
            QFontMetricsF(longer.font()).horizontalAdvance("Copy to Clipboard and Close") + 29);
  EXPECT_EQ(longer.minimumSizeHint(), longer.sizeHint());
}

TEST(Buttons, ACornerOfTheFrameIsNotAHit) {
  struct Row {
    std::function<QAbstractButton *()> make;
    QSize size;
  };
  const Row rows[] = {
      {[] {
         auto *b = new ChromeButton;
         b->setCornerRadius(16);
         return b;
       },
       {32, 32}},
      {[] { return new PrimaryActionButton("Copy"); }, {80, 32}},
      {[] { return new SecondaryActionButton("Cancel"); }, {80, 32}},
  };
  for (const Row &r : rows) {
    std::unique_ptr<QAbstractButton> button(r.make());
    button->resize(r.size);
    QSignalSpy clicked(button.get(), &QAbstractButton::clicked);
    QTest::mouseClick(button.get(), Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(clicked.count(), 0) << button->metaObject()->className();
    QTest::mouseClick(button.get(), Qt::LeftButton, {}, QPoint(r.size.width() / 2, r.size.height() / 2));
    EXPECT_EQ(clicked.count(), 1) << button->metaObject()->className();
  }
}

TEST(Buttons, DisabledNeverHoversAndDisablingKeepsTheLookUntilLeave) {
  const std::function<HoverButton *()> makers[] = {
      [] { return new ChromeButton; },
      [] { return new PrimaryActionButton("Go"); },
      [] { return new SecondaryActionButton("Go"); },
  };
  for (const auto &make : makers) {
    std::unique_ptr<HoverButton> button(make());
    button->setEnabled(false);
    enter(button.get());
    EXPECT_FALSE(button->isHovered()) << button->metaObject()->className();
    EXPECT_EQ(button->hoverAmount(), 0);
    leave(button.get());
    button->setEnabled(true);
    enter(button.get());
    button->setEnabled(false);
    EXPECT_TRUE(button->isHovered()) << button->metaObject()->className();
    leave(button.get());
    EXPECT_FALSE(button->isHovered());
  }
  // Drawn: a disabled chrome button under the pointer shows no hover fill.
  Board board;
  auto *chrome = new ChromeButton(&board.widget);
  chrome->setGeometry(10, 10, 32, 32);
  chrome->setEnabled(false);
  enter(chrome);
  EXPECT_EQ(board.at(chrome, {16, 16}), QColor(Qt::white));
}

TEST(BrandSwitch, WholeRowTogglesUnlessDisabled) {
  BrandSwitch toggle("Launch at login");
  toggle.resize(toggle.sizeHint().width() + 40, 24);
  EXPECT_EQ(toggle.trackRect(), QRectF(toggle.width() - 34, 2, 34, 20));
  EXPECT_GE(toggle.sizeHint().width(),
            QFontMetricsF(toggle.font()).horizontalAdvance("Launch at login") + BrandSwitch::minimumGap + 34);
  QTest::mouseClick(&toggle, Qt::LeftButton, {}, QPoint(6, 12)); // on the label
  EXPECT_TRUE(toggle.isChecked());
  QTest::mouseClick(&toggle, Qt::LeftButton, {}, QPoint(toggle.width() - 60, 12)); // the spacer
  EXPECT_FALSE(toggle.isChecked());
  toggle.setEnabled(false);
  QTest::mouseClick(&toggle, Qt::LeftButton, {}, QPoint(6, 12));
  EXPECT_FALSE(toggle.isChecked());

  // Track colours: primary when on, faint black when off; 0.45 when disabled.
  Board board;
  auto *on = new BrandSwitch({}, &board.widget), *off = new BrandSwitch({}, &board.widget);
  on->setGeometry(10, 10, 34, 20);
  off->setGeometry(60, 10, 34, 20);
  on->setChecked(true);
  EXPECT_TRUE(near(board.at(on, {4, 10}), ChromeColors::primary().toRgb(), 3));
  EXPECT_TRUE(near(board.at(off, {30, 10}), overWhite(Qt::black, 0.12), 2));
  EXPECT_EQ(board.at(on, {22, 10}), QColor(Qt::white)) << "the knob sits at the trailing end";
  on->setEnabled(false);
  EXPECT_TRUE(near(board.at(on, {4, 10}), overWhite(ChromeColors::primary(), 0.45), 3));
}

// A text action that cannot run is faded, not drawn like a live link.
TEST(BrandTextButton, LabelIsFadedWhileDisabled) {
  for (const bool enabled : {true, false}) {
    Board board;
    auto *link = new BrandTextButton(QStringLiteral("Check for Updates…"), &board.widget);
    link->setGeometry(QRect(QPoint(10, 10), link->sizeHint()));
    link->setEnabled(enabled);
    const QImage image = test::grabImage(board.widget);
    QColor strongest = Qt::white; // the label's most saturated pixel
    for (int y = link->y(); y < link->y() + link->height(); ++y)
      for (int x = link->x(); x < link->x() + link->width(); ++x)
        if (image.pixelColor(x, y).lightnessF() < strongest.lightnessF())
          strongest = image.pixelColor(x, y);
    const QColor expected = enabled ? ChromeColors::primary().toRgb()
                                    : overWhite(ChromeColors::primary(), BrandTextButton::disabledOpacity);
    EXPECT_TRUE(near(strongest, expected, 6)) << (enabled ? "enabled " : "disabled ") << strongest.name().toStdString();
    EXPECT_EQ(link->cursor().shape(), enabled ? Qt::PointingHandCursor : Qt::ArrowCursor);
  }
}

TEST(PlainPressButton, DimsOnlyWhileDown) {
  Board board;
  auto *button = new PlainPressButton(&board.widget);
  button->setGeometry(10, 10, 25, 25);
  button->setContentPainter([](QPainter &p, const QRectF &r) { p.fillRect(r, Qt::black); });
  EXPECT_EQ(board.at(button, {12, 12}), QColor(Qt::black));
  button->setDown(true);
  EXPECT_TRUE(near(board.at(button, {12, 12}), overWhite(Qt::black, 0.7)));
}

} // namespace
