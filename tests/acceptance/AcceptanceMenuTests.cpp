#include "acceptance/AcceptanceMenu.h"
#include "selfcheck/Failure.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace crel::acceptance {
namespace {

QAction *item(QMenu &menu, const QString &name, QStringList &fired) {
  QAction *action = menu.addAction(name + QStringLiteral(" in ") + menu.title());
  action->setObjectName(name);
  QObject::connect(action, &QAction::triggered, [&fired, action] { fired << action->text(); });
  return action;
}

TEST(AcceptanceMenu, PerformsTheLeftmostTopLevelItemAndNeverANestedOne) {
  QStringList fired;
  QMenu file(QStringLiteral("File")), edit(QStringLiteral("Edit")), nested(QStringLiteral("Nested"));
  item(file, QStringLiteral("revealCurrent"), fired);
  item(edit, QStringLiteral("undoCurrent"), fired);
  item(edit, QStringLiteral("revealCurrent"), fired);
  file.addMenu(&nested)->setObjectName(QStringLiteral("submenu"));
  item(nested, QStringLiteral("x"), fired);
  const QList<QMenu *> mainMenus{&file, &edit};

  QWidget window;
  window.show();
  menu(QStringLiteral("revealCurrent"), window, mainMenus);
  menu(QStringLiteral("undoCurrent"), window, mainMenus);
  EXPECT_EQ(fired, (QStringList{QStringLiteral("revealCurrent in File"), QStringLiteral("undoCurrent in Edit")}));

  for (const QString &name : {QStringLiteral("x"), QStringLiteral("submenu"), QStringLiteral("copy")}) {
    try {
      menu(name, window, mainMenus);
      ADD_FAILURE() << name.toStdString() << " was found";
    } catch (const NativeTests::Failure &failure) {
      EXPECT_EQ(failure.description(), QStringLiteral("Missing menu action: ") + name);
    }
  }
  EXPECT_EQ(fired.size(), 2);
}

TEST(AcceptanceMenu, FailsWhenTheWindowNeverBecomesActive) {
  QStringList fired;
  QMenu edit(QStringLiteral("Edit"));
  item(edit, QStringLiteral("undoCurrent"), fired);
  QWidget hidden;
  int sleeps = 0;
  try {
    menu(QStringLiteral("undoCurrent"), hidden, {&edit}, [&sleeps](int) { ++sleeps; });
    ADD_FAILURE() << "a hidden window counted as active";
  } catch (const NativeTests::Failure &failure) {
    EXPECT_EQ(failure.description(), QStringLiteral("Menu target did not become the active editor"));
  }
  EXPECT_EQ(sleeps, 100);
  EXPECT_TRUE(fired.isEmpty());
}

} // namespace
} // namespace crel::acceptance
