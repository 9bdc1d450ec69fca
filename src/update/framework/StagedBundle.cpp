#include "StagedBundle.h"

#include "UpdateError.h"
#include "platform/base/Translate.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace crel::update {

namespace {

[[noreturn]] void invalid(const QString &why) {
  throw UpdateError(UpdateErrorCode::validation, tr("The update is not valid: %1").arg(why));
}

} // namespace

QString StagedBundle::validate(const QString &stagingRoot, const Expectation &expected) {
  const QStringList top =
      QDir(stagingRoot).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  if (top.size() != 1)
    invalid(tr("it must hold exactly one application folder."));
  const QString bundle = QDir(stagingRoot).filePath(top.first());
  validateBundle(bundle, expected);
  return bundle;
}

BundleInfo StagedBundle::validateBundle(const QString &bundleDirectory, const Expectation &expected) {
  struct stat st {};
  if (::lstat(QFile::encodeName(bundleDirectory).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
    invalid(tr("it must hold exactly one application folder."));
  // The identity must be the bundle's own file, not a link that lends it one.
  if (::lstat(QFile::encodeName(bundleDirectory + QStringLiteral("/Info.json")).constData(), &st) != 0 ||
      !S_ISREG(st.st_mode))
    invalid(tr("its Info.json is not a plain file."));
  BundleInfo info;
  try {
    info = BundleInfo::load(bundleDirectory);
  } catch (const std::exception &e) {
    invalid(tr("its Info.json cannot be read (%1).").arg(QString::fromUtf8(e.what())));
  }
  if (info.identifier != expected.identifier)
    invalid(tr("it is for \"%1\", not \"%2\".").arg(info.identifier, expected.identifier));
  if (info.version != expected.version)
    invalid(tr("it is version %1, but the feed offered %2.").arg(info.version, expected.version));
  if (info.updates.publicEdKey != expected.publicEdKey)
    invalid(tr("it is signed for another update key."));
  const QByteArray executable = QFile::encodeName(bundleDirectory + QStringLiteral("/bin/crel"));
  if (::lstat(executable.constData(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(executable.constData(), X_OK) != 0)
    invalid(tr("it has no executable bin/crel."));
  return info;
}

} // namespace crel::update
