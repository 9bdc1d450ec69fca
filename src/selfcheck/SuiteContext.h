#pragma once

#include <QDir>
#include <QImage>

#include <memory>

namespace crel {
class CrelDocument;
}

namespace crel::NativeTests {

// What the driver hands every entry of the suite table: the run's temporary
// root, its fixture bitmap, and the driver's own state that lives from its
// first checks to its closing one.
class SuiteContext {
public:
  SuiteContext(const QDir &root, const QImage &fixture);
  ~SuiteContext();
  SuiteContext(const SuiteContext &) = delete;
  SuiteContext &operator=(const SuiteContext &) = delete;

  const QDir &root() const { return root_; }
  // A new image of the fixture's pixels: no suite shares another's copy.
  QImage image() const;

  // The document the driver's checks work on; made from the fixture and the
  // shared annotation preferences on first use.
  CrelDocument &driverDocument();

private:
  QDir root_;
  QImage fixture_;
  std::unique_ptr<CrelDocument> driverDocument_;
};

} // namespace crel::NativeTests
