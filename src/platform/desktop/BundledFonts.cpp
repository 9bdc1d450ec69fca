#include "BundledFonts.h"

#include "platform/files/ResourceLocator.h"

#include <QDir>
#include <QFontDatabase>
#include <QLoggingCategory>

#include <mutex>

Q_LOGGING_CATEGORY(lcFonts, "crel.fonts")

namespace crel {

namespace {
const QString kFormal = QStringLiteral("DejaVu Sans");
QString &doodleWanted() {
  static QString family = QStringLiteral("Comic Neue");
  return family;
}
} // namespace

void BundledFonts::ensureLoaded() {
  static std::once_flag once;
  std::call_once(once, [] {
    const QString dir = ResourceLocator::resourcesDirectory() + "/fonts";
    const QStringList files = QDir(dir).entryList({"*.ttf", "*.otf"}, QDir::Files, QDir::Name);
    if (files.isEmpty())
      qCWarning(lcFonts) << "no bundled fonts in" << dir << "- using installed fonts";
    for (const QString &file : files)
      if (QFontDatabase::addApplicationFont(dir + '/' + file) < 0)
        qCWarning(lcFonts) << "could not load" << file;
  });
}

bool BundledFonts::hasFamily(const QString &family) {
  ensureLoaded();
  return QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

QString BundledFonts::formalFamily() {
  ensureLoaded();
  return kFormal;
}

QString BundledFonts::doodleFamily() {
  const QString &wanted = doodleWanted();
  return hasFamily(wanted) ? wanted : formalFamily();
}

void BundledFonts::setDoodleFamilyForTesting(const QString &family) { doodleWanted() = family; }

} // namespace crel
