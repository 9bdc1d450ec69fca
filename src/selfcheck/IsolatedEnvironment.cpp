#include "IsolatedEnvironment.h"

namespace crel::NativeTests {

IsolatedEnvironment::IsolatedEnvironment(const QString &folder)
    : settings_(folder, QStringLiteral("crel.selftest.")), annotation_(settings_.store()),
      editorSize_(settings_.store()) {
  AnnotationPreferences::overrideShared(&annotation_);
  EditorSizePreferences::overrideShared(&editorSize_);
  Pasteboard::overrideGeneral(&pasteboard_);
}

IsolatedEnvironment::~IsolatedEnvironment() {
  Pasteboard::overrideGeneral(nullptr);
  EditorSizePreferences::overrideShared(nullptr);
  AnnotationPreferences::overrideShared(nullptr);
}

} // namespace crel::NativeTests
