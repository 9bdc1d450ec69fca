#pragma once

#include "IsolatedSettings.h"

#include "document/AnnotationPreferences.h"
#include "document/EditorSizePreferences.h"
#include "platform/clipboard/Pasteboard.h"

namespace crel::NativeTests {

// For its lifetime the process-wide annotation and editor-size preferences
// and the general pasteboard are private ones: preferences over a settings
// file inside `folder`, and an in-memory pasteboard. Qt's own user settings
// (the file dialogs' history in QtProject.conf, shared by every Qt
// application) are kept inside `folder` too. Everything the run builds
// therefore leaves the user's settings and clipboard alone. The previous
// objects come back when it goes.
class IsolatedEnvironment {
public:
  explicit IsolatedEnvironment(const QString &folder);
  ~IsolatedEnvironment();
  IsolatedEnvironment(const IsolatedEnvironment &) = delete;
  IsolatedEnvironment &operator=(const IsolatedEnvironment &) = delete;

  SettingsStore &settings() { return settings_.store(); }
  AnnotationPreferences &annotationPreferences() { return annotation_; }
  EditorSizePreferences &editorSizePreferences() { return editorSize_; }
  FakePasteboard &pasteboard() { return pasteboard_; }

private:
  IsolatedSettings settings_;
  AnnotationPreferences annotation_;
  EditorSizePreferences editorSize_;
  FakePasteboard pasteboard_;
};

} // namespace crel::NativeTests
