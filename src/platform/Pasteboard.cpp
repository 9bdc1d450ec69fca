#include "Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace crel {

namespace {
Pasteboard *generalOverride = nullptr;
}

Pasteboard &Pasteboard::general() {
  if (generalOverride)
    return *generalOverride;
  static ClipboardPasteboard board;
  return board;
}

void Pasteboard::overrideGeneral(Pasteboard *board) { generalOverride = board; }

void ClipboardPasteboard::clear() {
  formats_.clear();
  text_.clear();
  hasText_ = false;
  if (auto *clipboard = QGuiApplication::clipboard())
    clipboard->clear();
}

// QClipboard takes one QMimeData at a time, so every write republishes the
// whole set of representations written since the last clear.
void ClipboardPasteboard::publish() {
  auto *clipboard = QGuiApplication::clipboard();
  if (!clipboard)
    return;
  auto *mime = new QMimeData;
  for (auto it = formats_.cbegin(); it != formats_.cend(); ++it)
    mime->setData(it.key(), it.value());
  if (hasText_)
    mime->setText(text_);
  clipboard->setMimeData(mime);
}

bool ClipboardPasteboard::writeData(const QString &mimeType, const QByteArray &data) {
  if (!QGuiApplication::clipboard() || mimeType.isEmpty())
    return false;
  formats_.insert(mimeType, data);
  publish();
  return true;
}

bool ClipboardPasteboard::writeText(const QString &text) {
  if (!QGuiApplication::clipboard())
    return false;
  text_ = text;
  hasText_ = true;
  publish();
  return true;
}

void FakePasteboard::clear() {
  ++clearCount;
  data.clear();
  text.reset();
}

bool FakePasteboard::writeData(const QString &mimeType, const QByteArray &bytes) {
  if (failWrites)
    return false;
  data.insert(mimeType, bytes);
  return true;
}

bool FakePasteboard::writeText(const QString &value) {
  if (failWrites)
    return false;
  text = value;
  return true;
}

} // namespace crel
