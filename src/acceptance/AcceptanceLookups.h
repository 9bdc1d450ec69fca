#pragma once

#include <QString>

#include <cstdio>

class QAccessibleInterface;
class QObject;
class QWidget;

namespace crel {
class CanvasView;
}

namespace crel::acceptance {

// The canvas in a widget tree: the widget itself, else depth-first, pre-order.
CanvasView *findCanvas(QWidget *root);

// An element's identifier: its object's objectName, else the object's
// "accessibilityIdentifier" property (custom sub-elements); empty if none.
QString accessibilityIdentifier(QAccessibleInterface *element);

// The first element of the accessibility tree under `root` (itself first,
// then its children in order) whose identifier is `identifier`, compared
// exactly; hidden elements and their descendants are skipped. Guarded
// against cycles and trees deeper than 64 levels.
QAccessibleInterface *control(const QString &identifier, QObject *root);
QAccessibleInterface *control(const QString &identifier, QAccessibleInterface *root);

// Prints "AX <depth>: <Class> id=<id|none> children=<n>" for the element
// and its descendants, depths 0 to 6.
void describeAccessibility(QAccessibleInterface *element, int depth, FILE *out = stdout);

} // namespace crel::acceptance
