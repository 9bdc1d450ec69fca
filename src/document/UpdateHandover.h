#pragma once

#include "UpdateSnapshot.h"

#include <QString>

#include <memory>

namespace crel {

class AnnotationPreferences;
class CrelDocument;

// Hands a document across an update: takes its whole editable state before
// the relaunch and rebuilds an editable document from it afterwards. The
// document's snapshotForUpdate() and restoreAfterUpdate() say what each
// promises.
class UpdateHandover {
public:
  static UpdateSnapshot take(CrelDocument &document);
  static std::unique_ptr<CrelDocument> rebuild(const UpdateSnapshot &snapshot, AnnotationPreferences &preferences,
                                               const QString &savedImagesFolder, QString *notice);
};

} // namespace crel
