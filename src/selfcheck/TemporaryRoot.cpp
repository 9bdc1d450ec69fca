#include "TemporaryRoot.h"

#include "platform/base/Translate.h"
#include "platform/files/FileError.h"

#include <QFileDevice>
#include <QUuid>

namespace crel::NativeTests {

namespace {

QString freshRootPath() {
  const QString name = QStringLiteral("crel-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
  return QDir(QDir::tempPath()).absoluteFilePath(name);
}

} // namespace

TemporaryRoot::TemporaryRoot() : dir_(freshRootPath()) {
  // mkdir (not mkpath) fails on an existing folder, so a planted one is never used.
  if (!QDir().mkdir(dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
    throw FileError(tr("The temporary folder for the self-test could not be created."), dir_.path());
}

TemporaryRoot::~TemporaryRoot() { dir_.removeRecursively(); }

} // namespace crel::NativeTests
