#include "CanvasContextMenu.h"

#include "CanvasView.h"

#include "document/CrelDocument.h"
#include "platform/base/Translate.h"

#include <QPointer>

#include <numbers>

namespace crel::CanvasContextMenu {

std::unique_ptr<QMenu> build(CanvasView &canvas, QPointF viewPoint, const CanvasInputHooks &hooks) {
  for (const geom::Rect &frame : canvas.chromeFrames())
    if (frame.contains(viewPoint))
      return nullptr;
  CrelDocument *document = canvas.document();
  if (!document)
    return nullptr;

  std::unique_ptr<QMenu> menu = hooks.windowSizeMenu ? hooks.windowSizeMenu() : nullptr;
  if (!menu)
    menu = std::make_unique<QMenu>();

  if (const std::optional<PixelColor> color = document->pixelColor(canvas.point(viewPoint))) {
    const QList<QAction *> existing = menu->actions();
    QAction *before = existing.isEmpty() ? nullptr : existing.first();
    auto *item = new QAction(crel::tr("Copy Color %1").arg(color->hex()), menu.get());
    item->setData(QVariant::fromValue(*color));
    QObject::connect(item, &QAction::triggered, &canvas,
                     [item, copy = hooks.copyColor] { copyPixelColor(*item, copy); });
    menu->insertAction(before, item);
    menu->insertSeparator(before);
  }

  if (!document->selection())
    return menu;
  menu->addSeparator();
  const auto command = [&](const char *title, void (*operation)(CrelDocument &)) {
    QAction *action = menu->addAction(crel::tr(title));
    QObject::connect(action, &QAction::triggered, document, [document, operation] { operation(*document); });
  };
  command("Rotate Left 90°", [](CrelDocument &d) { d.rotateSelection(-std::numbers::pi / 2); });
  command("Rotate Right 90°", [](CrelDocument &d) { d.rotateSelection(std::numbers::pi / 2); });
  command("Reset Rotation", [](CrelDocument &d) { d.rotateSelection(std::nullopt); });
  command("Duplicate", [](CrelDocument &d) { d.duplicateSelection(); });
  command("Bring to front", [](CrelDocument &d) { d.reorderSelection(true); });
  command("Send to back", [](CrelDocument &d) { d.reorderSelection(false); });
  command("Delete", [](CrelDocument &d) { d.deleteSelection(); });
  return menu;
}

void copyPixelColor(const QAction &item, const std::function<void(const PixelColor &)> &copy) {
  if (item.data().canConvert<PixelColor>() && copy)
    copy(item.data().value<PixelColor>());
}

} // namespace crel::CanvasContextMenu
