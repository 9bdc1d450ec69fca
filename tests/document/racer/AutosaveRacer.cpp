// A second process for the autosave tests: makes a document, says "ready",
// and on a line from standard input turns autosave on in FOLDER under STEM,
// then prints the file it saved to. Exit status 1 when the save failed.
//
//   crel_autosave_racer FOLDER STEM

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "platform/files/SettingsStore.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() != 3)
    return 2;
  QTemporaryDir settingsDir;
  crel::SettingsStore store(settingsDir.filePath("settings.ini"));
  crel::AnnotationPreferences preferences(store);
  QImage image(1'500, 1'000, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  crel::CrelDocument document(image, preferences);
  std::printf("ready\n");
  std::fflush(stdout);
  char line[8];
  if (!std::fgets(line, sizeof line, stdin))
    return 2;
  try {
    document.enableAutosave(args[1], args[2]);
  } catch (const std::exception &) {
    std::printf("%s\n", qPrintable(document.status()));
    return 1;
  }
  std::printf("%s\n", qPrintable(document.savedURL().value_or(QString())));
  return 0;
}
