#include "support/TestSupport.h"

#include "app/LaunchAtLogin.h"
#include "app/ShortcutManager.h"
#include "app/WelcomeView.h"
#include "chrome/BrandSwitch.h"
#include "chrome/CapsuleActionButton.h"
#include "chrome/ChromeSegmented.h"
#include "chrome/FocusRing.h"
#include "document/AnnotationPreferences.h"
#include "document/AnnotationStyle.h"
#include "document/EditorSizePreferences.h"
#include "platform/desktop/LoginItemService.h"
#include "platform/shortcuts/HotKeyBackend.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QTest>

#include <gtest/gtest.h>

using namespace crel;

namespace {

class Welcome : public ::testing::Test {
protected:
  WelcomeView &make(bool canRegister = true) {
    login = std::make_unique<LaunchAtLogin>(service, settings.store(), canRegister);
    view = std::make_unique<WelcomeView>(
        shortcuts, *login, annotation, sizes,
        WelcomeView::Actions{[this] { ++captures; }, [this] { ++opens; }, [this] { ++folders; }});
    view->resize(WelcomeView::viewWidth, view->layout()->totalHeightForWidth(WelcomeView::viewWidth));
    return *view;
  }
  template <class T> T *find(const QString &name) const { return view->findChild<T *>(name); }
  QString styleLine() const { return find<QLabel>("style-description")->text(); }

  test::TemporarySettings settings;
  FakeLoginItemService service;
  ShortcutManager shortcuts{settings.store()};
  AnnotationPreferences annotation{settings.store()};
  EditorSizePreferences sizes{settings.store()};
  std::unique_ptr<LaunchAtLogin> login;
  std::unique_ptr<WelcomeView> view;
  int captures = 0, opens = 0, folders = 0;
};

} // namespace

// Each action button calls its own action and shows its symbol; the folder
// and privacy lines carry theirs.
TEST_F(Welcome, EachActionButtonCallsItsOwnActionUnderItsSymbol) {
  make();
  const struct {
    const char *name;
    int *count;
    const char *symbol;
  } rows[]{{"capture", &captures, "viewfinder"}, {"open-image", &opens, "photo"}, {"open-folder", &folders, ""}};
  for (const auto &row : rows) {
    auto *button = find<CapsuleActionButton>(row.name);
    ASSERT_TRUE(button) << row.name;
    button->click();
    EXPECT_EQ(*row.count, 1) << row.name;
    EXPECT_EQ(button->symbol(), row.symbol) << row.name;
    if (*row.symbol) {
      EXPECT_GT(button->sizeHint().width(), QFontMetrics(button->font()).horizontalAdvance(button->text()) + 40)
          << row.name << ": room for the symbol";
    }
  }
  EXPECT_EQ(captures + opens + folders, 3);
  EXPECT_EQ(find<QAbstractButton>("open-folder")->accessibleName(), "Open saved images folder in the file manager");
  for (const char *symbol : {"symbol-folder", "symbol-lock.shield"})
    EXPECT_TRUE(find<QLabel>(symbol)) << symbol;
  EXPECT_EQ(find<QAbstractButton>("open-image")->text(), "Open Image…") << "the menus' name for it";
}

TEST_F(Welcome, TheStylePickerStoresTheStyleAndTheLineFollowsAtOnce) {
  make();
  ChromeSegmented *picker = find<ChromeSegmented>("default-annotation-style");
  ASSERT_TRUE(picker);
  annotation.setStyle(AnnotationStyle::formal);
  const QString formal = styleLine();
  picker->segment(1)->click();
  EXPECT_EQ(annotation.style(), AnnotationStyle::doodle);
  EXPECT_EQ(AnnotationPreferences(settings.store()).style(), AnnotationStyle::doodle); // stored
  EXPECT_EQ(styleLine(), description(AnnotationStyle::doodle) + ". Used for new crels; change it in any editor.");
  EXPECT_NE(styleLine(), formal);
  // A change made elsewhere (an editor) shows here too.
  annotation.setStyle(AnnotationStyle::formal);
  EXPECT_EQ(styleLine(), formal);
  EXPECT_EQ(picker->selection(), 0);
}

TEST_F(Welcome, TheSizePickerStoresTheSizeAndFollowsOtherChanges) {
  make();
  ChromeSegmented *picker = find<ChromeSegmented>("default-editor-size");
  ASSERT_TRUE(picker);
  const struct {
    int segment;
    EditorSize size;
  } rows[]{{0, EditorSize::compact}, {2, EditorSize::large}, {1, EditorSize::regular}};
  for (const auto &row : rows) {
    picker->segment(row.segment)->click();
    EXPECT_EQ(EditorSizePreferences(settings.store()).size(), row.size);
  }
  sizes.setSize(EditorSize::large);
  EXPECT_EQ(picker->selection(), 2);
}

TEST_F(Welcome, TheLoginSwitchFollowsTheModelAndTurnsItOn) {
  service.statusAfterRequest = LoginItemStatus::enabled;
  make();
  BrandSwitch *toggle = find<BrandSwitch>("launch-at-login");
  ASSERT_TRUE(toggle);
  EXPECT_FALSE(toggle->isChecked());
  toggle->click();
  EXPECT_EQ(service.registerCount, 1);
  EXPECT_TRUE(toggle->isChecked());

  make(false);
  EXPECT_FALSE(find<BrandSwitch>("launch-at-login")->isEnabled());
}

TEST_F(Welcome, TheViewIsItsWidthAndEveryTextFits) {
  make();
  EXPECT_EQ(view->width(), WelcomeView::viewWidth);
  view->layout()->activate();
  for (const QLabel *label : view->findChildren<QLabel *>()) {
    if (label->text().isEmpty() || !label->isVisibleTo(view.get()))
      continue;
    EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->text().toStdString();
    EXPECT_LE(label->geometry().right(), WelcomeView::viewWidth - WelcomeView::padding) << label->text().toStdString();
  }
}

// With the keyboard alone: the first Tab leaves the view for the first
// control, each Tab then reaches the next control in reading order until
// every one was reached, each shows a ring where it sits (the view drawn
// with the focus there differs from the view drawn without), and Space and
// Return press what the ring shows.
TEST_F(Welcome, TabReachesEveryControlInReadingOrderAndTheRingShowsWhereSpaceActs) {
  make();
  view->show();
  view->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
  const auto focused = [] { return QApplication::focusWidget(); };
  ASSERT_EQ(focused(), view.get());
  QTest::keyClick(view.get(), Qt::Key_Space);
  QTest::keyClick(view.get(), Qt::Key_Return);
  EXPECT_EQ(captures + opens + folders, 0) << "nothing is pressed before the first Tab";

  QList<QWidget *> reachable;
  for (QWidget *w : view->findChildren<QWidget *>())
    if (w->isVisibleTo(view.get()) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus))
      reachable.append(w);
  QList<QWidget *> chain;
  std::vector<std::pair<QRect, QImage>> withFocus;
  for (QTest::keyClick(focused(), Qt::Key_Tab); !chain.contains(focused()); QTest::keyClick(focused(), Qt::Key_Tab)) {
    QWidget *w = focused();
    ASSERT_TRUE(w && view->isAncestorOf(w));
    chain.append(w);
    EXPECT_TRUE(FocusRing::isShown(*w)) << w->metaObject()->className();
    const QRect around = QRect(w->mapTo(view.get(), QPoint()), w->size()).adjusted(-6, -6, 6, 6);
    withFocus.emplace_back(around, view->grab(around).toImage());
    if (chain.size() > 1) {
      const QRect a(chain[chain.size() - 2]->mapTo(view.get(), QPoint()), chain[chain.size() - 2]->size());
      const QRect b(w->mapTo(view.get(), QPoint()), w->size());
      EXPECT_TRUE(b.center().y() > a.bottom() || (b.top() < a.bottom() && b.left() > a.right()))
          << "out of reading order: " << w->metaObject()->className();
    }
  }
  EXPECT_EQ(chain.size(), reachable.size());
  view->setFocus(Qt::MouseFocusReason);
  for (const auto &[around, image] : withFocus)
    EXPECT_NE(view->grab(around).toImage(), image) << "no ring at " << around.y();

  for (int tab = 0; tab < 3; ++tab)
    QTest::keyClick(focused(), Qt::Key_Tab);
  ASSERT_EQ(focused(), find<QWidget>("open-folder"));
  QTest::keyClick(focused(), Qt::Key_Space);
  EXPECT_EQ(folders, 1);
  QTest::keyClick(focused(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return folders == 2; }));
  EXPECT_EQ(captures + opens, 0);
}
