#include "Failure.h"

namespace crel::NativeTests {

Failure::Failure(const QString &description) : description_(description), utf8_(description.toStdString()) {}

} // namespace crel::NativeTests
