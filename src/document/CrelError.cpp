#include "CrelError.h"

#include "platform/base/Translate.h"
#include "platform/display/SnapshotError.h"
#include "platform/files/FileError.h"

namespace crel {

CrelError::CrelError(Kind kind, const QString &message) : kind_(kind), message_(message) {
  utf8_ = errorDescription().toStdString();
}

QString CrelError::errorDescription() const {
  switch (kind_) {
  case Kind::capture:
  case Kind::shortcut: return message_;
  case Kind::rendering: return tr("The image could not be exported. Try saving to a different location.");
  case Kind::clipboard: return tr("The image could not be put on the clipboard. Try copying again.");
  case Kind::invalidImage:
    if (!message_.isEmpty())
      return message_;
    return tr("Choose a PNG, JPEG, TIFF, or HEIC image smaller than 80 megapixels.");
  }
  return message_;
}

QString CrelError::describe(const std::exception_ptr &error, const QString &fallback) {
  try {
    std::rethrow_exception(error);
  } catch (const CrelError &e) {
    return e.errorDescription();
  } catch (const FileError &e) {
    return e.message();
  } catch (const SnapshotError &e) {
    return e.message();
  } catch (const std::exception &e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
  }
  return fallback;
}

} // namespace crel
