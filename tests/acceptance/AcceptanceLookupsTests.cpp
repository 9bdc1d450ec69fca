#include "acceptance/AcceptanceLookups.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace crel::acceptance {
namespace {

QWidget *child(QWidget *parent, const QString &name = {}) {
  auto *widget = new QWidget(parent);
  widget->setObjectName(name);
  return widget;
}

QWidget *chain(QWidget *top, int length) {
  QWidget *bottom = top;
  for (int i = 0; i < length; ++i)
    bottom = child(bottom);
  return bottom;
}

std::string describe(QWidget &root) {
  char *buffer = nullptr;
  size_t size = 0;
  FILE *out = open_memstream(&buffer, &size);
  describeAccessibility(QAccessible::queryAccessibleInterface(&root), 0, out);
  std::fclose(out);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

TEST(AcceptanceLookups, ControlFindsTheFirstMatchInPreOrder) {
  QWidget root;
  root.setObjectName(QStringLiteral("same"));
  QWidget *first = child(&root);
  QWidget *earlier = child(chain(first, 3), QStringLiteral("copy-image"));
  QWidget *second = child(&root);
  child(second, QStringLiteral("copy-image"));
  QWidget *custom = child(second);
  custom->setProperty("accessibilityIdentifier", QStringLiteral("annotation-style"));
  QWidget *deep = child(chain(second, 70), QStringLiteral("too-deep"));
  QWidget *inner = child(second, QStringLiteral("same"));
  // Hidden elements and everything under them are not in the tree.
  child(first, QStringLiteral("shown-later"))->hide();
  QWidget *hiddenParent = child(first);
  child(hiddenParent, QStringLiteral("under-hidden"));
  hiddenParent->hide();
  QWidget *shownLater = child(second, QStringLiteral("shown-later"));
  root.show();

  const struct {
    QString identifier;
    QObject *expected;
  } cases[] = {
      {QStringLiteral("same"), &root}, // the element itself before any child
      {QStringLiteral("copy-image"), earlier},
      {QStringLiteral("annotation-style"), custom},
      {QStringLiteral("Copy-Image"), nullptr},
      {QStringLiteral("missing"), nullptr},
      {QString(), nullptr},
      {QStringLiteral("too-deep"), nullptr},
      {QStringLiteral("shown-later"), shownLater},
      {QStringLiteral("under-hidden"), nullptr},
  };
  for (const auto &c : cases) {
    QAccessibleInterface *found = control(c.identifier, &root);
    EXPECT_EQ(found ? found->object() : nullptr, c.expected) << c.identifier.toStdString();
  }
  ASSERT_NE(control(QStringLiteral("same"), inner), nullptr);
  EXPECT_EQ(control(QStringLiteral("same"), inner)->object(), inner);
  EXPECT_EQ(control(QStringLiteral("too-deep"), deep->parentWidget())->object(), deep);
}

TEST(AcceptanceLookups, DescriptionPrintsSevenLevels) {
  QWidget root;
  auto *button = new QPushButton(QStringLiteral("Copy"), &root);
  button->setObjectName(QStringLiteral("copy-image"));
  chain(&root, 8);
  root.show();

  const std::string text = describe(root);
  EXPECT_NE(text.find("AX 0: QWidget id=none children=2\n"), std::string::npos) << text;
  EXPECT_NE(text.find("AX 1: QPushButton id=copy-image children=0\n"), std::string::npos) << text;
  EXPECT_NE(text.find("AX 6: QWidget id=none children=1\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("AX 7:"), std::string::npos) << text;
}

} // namespace
} // namespace crel::acceptance
