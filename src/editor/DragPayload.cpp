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
  bool saved = true;
  try {
    document.flushAutosave();
  } catch (const std::exception &) {
    // The file on disk lacks what the save could not write: drag the
    // canvas as it is now instead.
    saved = false;
  }
  if (const auto &url = document.savedURL(); saved && url && QFileInfo(*url).isFile() && QFileInfo(*url).isReadable()) {
    // A file URL's last component is the name the drop target gives the file.
    data->setUrls({QUrl::fromLocalFile(*url)});
    return data;
  }
  try {
    data->setData(QStringLiteral("image/png"), document.renderPNG());
  } catch (const std::exception &) {
  }
  return data;
}

} // namespace crel::DragPayload
