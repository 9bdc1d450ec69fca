#include "DragPayload.h"

#include "document/CrelDocument.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace crel::DragPayload {

std::unique_ptr<QMimeData> make(CrelDocument &document) {
  auto data = std::make_unique<QMimeData>();
  if (document.finishTextEditing)
    document.finishTextEditing();
  try {
    document.flushAutosave();
  } catch (const std::exception &) {
    // A failed save still drags the picture, as PNG data.
  }
  if (const auto &saved = document.savedURL(); saved && QFileInfo(*saved).isReadable()) {
    // A file URL's last component is the name the drop target gives the file.
    data->setUrls({QUrl::fromLocalFile(*saved)});
    return data;
  }
  try {
    data->setData(QStringLiteral("image/png"), document.renderPNG());
  } catch (const std::exception &) {
  }
  return data;
}

} // namespace crel::DragPayload
