#include "CrelError.h"

#include "platform/Translate.h"

namespace crel {

CrelError::CrelError(Kind kind, const QString &message) : kind_(kind), message_(message) {
  utf8_ = errorDescription().toStdString();
}

QString CrelError::errorDescription() const {
  switch (kind_) {
  case Kind::capture:
  case Kind::shortcut: return message_;
  case Kind::rendering: return tr("The image could not be exported. Try saving to a different location.");
  case Kind::invalidImage: return tr("Choose a PNG, JPEG, TIFF, or HEIC image smaller than 80 megapixels.");
  }
  return message_;
}

} // namespace crel
