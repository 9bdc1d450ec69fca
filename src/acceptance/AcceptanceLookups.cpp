#include "AcceptanceLookups.h"

#include "canvas/CanvasView.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QSet>
#include <QVariant>

namespace crel::acceptance {

namespace {

constexpr int searchDepthLimit = 64;
constexpr int printedDepths = 7;

QAccessibleInterface *search(const QString &identifier, QAccessibleInterface *element, int depth,
                             QSet<QAccessible::Id> &visited) {
  // Hidden widgets stay in Qt's accessible tree, flagged invisible; the
  // lookups see only what is on screen, as assistive tools do.
  if (!element || !element->isValid() || element->state().invisible || depth > searchDepthLimit)
    return nullptr;
  if (visited.contains(QAccessible::uniqueId(element)))
    return nullptr;
  visited.insert(QAccessible::uniqueId(element));
  if (accessibilityIdentifier(element) == identifier)
    return element;
  for (int i = 0, count = element->childCount(); i < count; ++i)
    if (QAccessibleInterface *found = search(identifier, element->child(i), depth + 1, visited))
      return found;
  return nullptr;
}

QString className(QAccessibleInterface *element) {
  const QObject *object = element->object();
  if (!object)
    return QStringLiteral("QAccessibleInterface");
  const QString qualified = QString::fromLatin1(object->metaObject()->className());
  return qualified.mid(qualified.lastIndexOf(QLatin1Char(':')) + 1);
}

} // namespace

CanvasView *findCanvas(QWidget *root) { return CanvasView::find(root); }

QString accessibilityIdentifier(QAccessibleInterface *element) {
  const QObject *object = element ? element->object() : nullptr;
  if (!object)
    return {};
  if (!object->objectName().isEmpty())
    return object->objectName();
  return object->property("accessibilityIdentifier").toString();
}

QAccessibleInterface *control(const QString &identifier, QAccessibleInterface *root) {
  if (identifier.isEmpty())
    return nullptr;
  QSet<QAccessible::Id> visited;
  return search(identifier, root, 0, visited);
}

QAccessibleInterface *control(const QString &identifier, QObject *root) {
  return control(identifier, root ? QAccessible::queryAccessibleInterface(root) : nullptr);
}

void describeAccessibility(QAccessibleInterface *element, int depth, FILE *out) {
  if (!element || depth >= printedDepths)
    return;
  const QString identifier = accessibilityIdentifier(element);
  const int count = element->childCount();
  const QString line = QStringLiteral("AX %1: %2 id=%3 children=%4\n")
                           .arg(depth)
                           .arg(className(element), identifier.isEmpty() ? QStringLiteral("none") : identifier)
                           .arg(count);
  std::fputs(line.toUtf8().constData(), out);
  for (int i = 0; i < count; ++i)
    describeAccessibility(element->child(i), depth + 1, out);
}

} // namespace crel::acceptance
