#pragma once

#include "AnnotationStyle.h"
#include "MarkTool.h"

#include <QObject>

namespace crel {

class SettingsStore;

// The style new documents start with, kept under "annotationStyle".
class AnnotationPreferences : public QObject {
  Q_OBJECT
public:
  // Reads the stored value; reading never writes.
  explicit AnnotationPreferences(SettingsStore &store, QObject *parent = nullptr);
  static AnnotationPreferences &shared();
  // Makes shared() answer `instance` until called again with nullptr. The
  // self-test installs preferences over a private store for its whole run.
  static void overrideShared(AnnotationPreferences *instance);

  AnnotationStyle style() const { return style_; }
  // Every assignment writes, even of an equal value, and notifies.
  void setStyle(AnnotationStyle style);

  static double defaultWidth(MarkTool tool);

Q_SIGNALS:
  void styleChanged(crel::AnnotationStyle style);
  void changed();

private:
  SettingsStore &store_;
  AnnotationStyle style_;
};

} // namespace crel
