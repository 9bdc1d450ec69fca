#include "SuiteContext.h"

#include "Failure.h"
#include "IsolatedSettings.h"

#include "app/ShortcutManager.h"
#include "platform/shortcuts/HotKeyBackend.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"

namespace crel::NativeTests {

SuiteContext::SuiteContext(const QDir &root, const QImage &fixture) : root_(root), fixture_(fixture) {}

SuiteContext::~SuiteContext() = default;

QImage SuiteContext::image() const {
  QImage copy = fixture_.copy();
  if (copy.isNull())
    throw Failure(QStringLiteral("The fixture image could not be copied for the next suite"));
  return copy;
}

CrelDocument &SuiteContext::driverDocument() {
  if (!driverDocument_)
    driverDocument_ = std::make_unique<CrelDocument>(image(), AnnotationPreferences::shared());
  return *driverDocument_;
}

SettingsStore &SuiteContext::shortcutDefaults() {
  if (!shortcutDefaults_)
    shortcutDefaults_ = std::make_unique<IsolatedSettings>(root_.path(), QStringLiteral("crel.tests."));
  return shortcutDefaults_->store();
}

void SuiteContext::keepShortcutManager(std::unique_ptr<ShortcutManager> manager) {
  shortcutManager_ = std::move(manager);
}

} // namespace crel::NativeTests
