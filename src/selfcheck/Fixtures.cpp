#include "Fixtures.h"

#include <QLayout>
#include <QWidget>

#include "Failure.h"

#include "platform/files/JsonWriter.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QTimer>

namespace crel::NativeTests {

QImage driverFixture() {
  QImage bitmap(800, 600, QImage::Format_RGBA8888);
  if (bitmap.isNull())
    throw Failure(QStringLiteral("The 800 by 600 fixture bitmap could not be created"));
  bitmap.setColorSpace(QColorSpace(QColorSpace::SRgb));
  const QColor white = QColor::fromRgbF(1, 1, 1, 1);
  const QColor grey = QColor::fromRgbF(0.65f, 0.65f, 0.65f, 1);
  for (int y = 0; y < bitmap.height(); ++y)
    for (int x = 0; x < bitmap.width(); ++x)
      bitmap.setPixelColor(x, y, y < 300 ? white : grey);
  return bitmap;
}

void pumpFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
  // A nested loop does not run deferred deletes scheduled at this level.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool pumpUntil(const std::function<bool()> &condition, int deadlineMs, int stepMs) {
  const QDeadlineTimer deadline(deadlineMs);
  bool holds = condition();
  while (!holds && !deadline.hasExpired()) {
    pumpFor(std::min<qint64>(stepMs, std::max<qint64>(deadline.remainingTime(), 0)));
    holds = condition();
  }
  return holds;
}

const Ink &paletteInk(qsizetype index) {
  const QList<Ink> &palette = Ink::palette();
  if (index < 0 || index >= palette.size())
    throw Failure(QStringLiteral("Ink palette entry %1 is missing").arg(index + 1));
  return palette[index];
}

Mark checkMark(MarkTool tool, QPointF start, QPointF end, double width) {
  Mark mark;
  mark.id = QUuid::createUuid();
  mark.tool = tool;
  mark.start = start;
  mark.end = end;
  mark.ink = paletteInk(0);
  mark.width = width;
  mark.arrowHeadScale = 1;
  mark.fontSize = 40;
  mark.textBoxWidth = 320;
  return mark;
}

QByteArray readFile(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw Failure(QStringLiteral("The file could not be read: %1 (%2)").arg(path, file.errorString()));
  return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
    throw Failure(QStringLiteral("The file could not be written: ") + path);
}

UpdateSnapshot throughJson(const UpdateSnapshot &snapshot) {
  JsonWriter writer;
  snapshot.encode(writer);
  QJsonParseError error;
  const QJsonDocument json = QJsonDocument::fromJson(writer.take(), &error);
  if (error.error != QJsonParseError::NoError || !json.isObject())
    throw Failure(QStringLiteral("The encoded update snapshot could not be read back: ") + error.errorString());
  return UpdateSnapshot::decode(json.object());
}

void layOut(QWidget &window) {
  QList<QWidget *> widgets{&window};
  widgets += window.findChildren<QWidget *>();
  for (QWidget *widget : widgets) {
    if (QLayout *layout = widget->layout())
      layout->activate();
  }
  window.grab();
}

HideOnExit::~HideOnExit() {
  if (window_)
    window_->hide();
}

} // namespace crel::NativeTests
