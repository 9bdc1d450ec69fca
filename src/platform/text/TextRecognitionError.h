#pragma once

#include <QString>

#include <stdexcept>

namespace crel {

// A recognition that could not run; carries the complete sentence to show.
class TextRecognitionError : public std::runtime_error {
public:
  explicit TextRecognitionError(const QString &description)
      : std::runtime_error(description.toStdString()), description_(description) {}
  const QString &description() const { return description_; }

private:
  QString description_;
};

} // namespace crel
