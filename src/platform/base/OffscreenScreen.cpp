#include "OffscreenScreen.h"

#include <QDir>
#include <QSaveFile>

namespace crel::OffscreenScreen {

bool useDesktopSized(const QString &folder) {
  const QString config = QDir(folder).filePath(QStringLiteral("offscreen.json"));
  QSaveFile file(config);
  if (!file.open(QIODevice::WriteOnly))
    return false;
  file.write(R"({"windowFrameMargins": false, "screens":[{"name":"s0","x":0,"y":0,"width":1920,)"
             R"("height":1080,"logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})");
  if (!file.commit())
    return false;
  qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
  return true;
}

} // namespace crel::OffscreenScreen
