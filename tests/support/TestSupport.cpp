#include "TestSupport.h"

#include <QCoreApplication>

namespace crel::test {

TemporarySettings::TemporarySettings() : store_(std::make_unique<SettingsStore>(dir_.filePath("settings.ini"))) {}

ProjectContextTranslator::ProjectContextTranslator() { QCoreApplication::installTranslator(this); }

ProjectContextTranslator::~ProjectContextTranslator() { QCoreApplication::removeTranslator(this); }

QString ProjectContextTranslator::translate(const char *context, const char *sourceText, const char *, int) const {
  return qstrcmp(context, "Crel") == 0 ? "[Crel] " + QString::fromUtf8(sourceText) : QString();
}

} // namespace crel::test
