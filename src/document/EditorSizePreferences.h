#pragma once

#include "EditorSize.h"

#include <QObject>

namespace crel {

class SettingsStore;

// The content size of new editor windows, kept under "editorWindowSize".
class EditorSizePreferences : public QObject {
  Q_OBJECT
public:
  explicit EditorSizePreferences(SettingsStore &store, QObject *parent = nullptr);
  static EditorSizePreferences &shared();
  // Makes shared() answer `instance` until called again with nullptr. The
  // self-test installs preferences over a private store for its whole run.
  static void overrideShared(EditorSizePreferences *instance);

  EditorSize size() const { return size_; }
  void setSize(EditorSize size);

Q_SIGNALS:
  void sizeChanged(crel::EditorSize size);
  void changed();

private:
  SettingsStore &store_;
  EditorSize size_;
};

} // namespace crel
