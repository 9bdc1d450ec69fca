#include "ShortcutTestKit.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace crel::test {

namespace {

void xdotool(const QStringList &args) {
  QProcess process;
  process.start(QStringLiteral("xdotool"), args);
  ASSERT_TRUE(process.waitForFinished(10000));
  ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
}

} // namespace

void pressKeys(std::initializer_list<const char *> chords) {
  QStringList args{QStringLiteral("key")};
  for (const char *chord : chords)
    args << QString::fromLatin1(chord);
  xdotool(args);
}

GrabElsewhere::GrabElsewhere(quint32 keysym, quint32 modifiers) {
  process_.start(QStringLiteral(CREL_HOLD_SHORTCUT),
                 {QString::number(keysym, 16).prepend(QLatin1String("0x")), QString::number(modifiers)});
  while (process_.waitForReadyRead(10000)) {
    if (process_.canReadLine()) {
      ready_ = process_.readLine().trimmed() == "ready";
      break;
    }
  }
}

void GrabElsewhere::release() {
  if (process_.state() == QProcess::NotRunning)
    return;
  process_.closeWriteChannel();
  if (!process_.waitForFinished(10000))
    process_.kill();
}

ShortcutRig::ShortcutRig(Start start) {
  auto backend = std::make_unique<HotKeyBackend>();
  backend_ = backend.get();
  QObject::connect(backend_, &HotKeyBackend::activated,
                   [this](const HotKeyCombination &combination) { presses_.push_back(combination); });
  manager_ = std::make_unique<ShortcutManager>(settings_.store(), std::move(backend));
  manager_->setOnCapture(nullptr, [this] { ++captures_; });
  if (start == registered)
    manager_->registerShortcut(CaptureShortcut::defaultShortcut());
}

bool ShortcutRig::waitForCaptures(int count) {
  const bool reached = QTest::qWaitFor([&] { return captures_ >= count; }, 5000);
  settle();
  return reached;
}

void ShortcutRig::settle() {
  backend_->sync();
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
}

} // namespace crel::test
