#pragma once

#include <QString>

#include <exception>
#include <string>

namespace crel::NativeTests {

// The error of a failed check. Its text is the check's message exactly as it
// would have been printed after "PASS: ", with no prefix or type name.
class Failure : public std::exception {
public:
  explicit Failure(const QString &description);

  const QString &description() const { return description_; }
  const char *what() const noexcept override { return utf8_.c_str(); }

private:
  QString description_;
  std::string utf8_;
};

} // namespace crel::NativeTests
