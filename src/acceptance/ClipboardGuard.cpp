#include "ClipboardGuard.h"

#include <QClipboard>
#include <QMimeData>

namespace crel::acceptance {

ClipboardGuard::ClipboardGuard(QClipboard &clipboard, QObject *parent) : QObject(parent), clipboard_(clipboard) {
  // A foreign owner answers each format with a round trip; they are read
  // once, here, and never while restoring.
  if (const QMimeData *mime = clipboard_.mimeData(QClipboard::Clipboard))
    for (const QString &format : mime->formats())
      formats_.append({format, mime->data(format)});
  connect(&clipboard_, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
    if (mode == QClipboard::Clipboard)
      ++changes_;
  });
}

bool ClipboardGuard::restore() {
  if (!unchangedSinceOwnWrite())
    return false;
  clipboard_.clear(QClipboard::Clipboard);
  if (!formats_.isEmpty()) {
    auto *mime = new QMimeData;
    for (const auto &[format, bytes] : formats_)
      mime->setData(format, bytes);
    clipboard_.setMimeData(mime, QClipboard::Clipboard);
  }
  noteOwnWrite();
  return true;
}

} // namespace crel::acceptance
