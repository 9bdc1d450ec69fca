// A fresh process for the export tests: opens IMAGE, commits the marks of
// the JSON list MARKS in one step and writes the document's PNG export to
// standard output. Exit status 1 when it cannot.
//
//   crel-export-once IMAGE MARKS

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "platform/files/SettingsStore.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() != 3)
    return 2;
  QFile marks(args[2]);
  const QImage image(args[1]);
  if (image.isNull() || !marks.open(QIODevice::ReadOnly))
    return 1;
  QTemporaryDir settingsDir;
  crel::SettingsStore store(settingsDir.filePath("settings.ini"));
  crel::AnnotationPreferences preferences(store);
  try {
    crel::CrelDocument document(image, preferences);
    document.commit(crel::Mark::decodeList(QJsonDocument::fromJson(marks.readAll()).array()));
    const QByteArray png = document.renderPNG();
    return std::fwrite(png.constData(), 1, std::size_t(png.size()), stdout) == std::size_t(png.size()) ? 0 : 1;
  } catch (const std::exception &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
