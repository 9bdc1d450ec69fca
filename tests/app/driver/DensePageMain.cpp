// Writes a page the recognition engine finds hard, for trials on the real
// application: crel-dense-page tiny|log|grid WIDTHxHEIGHT OUT.png

#include "support/DensePage.h"

#include <QGuiApplication>
#include <QRegularExpression>

#include <cstdio>
#include <map>

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  using crel::test::DensePage;
  const std::map<QString, DensePage> kinds{
      {"tiny", DensePage::tinyText}, {"log", DensePage::terminalLog}, {"grid", DensePage::spreadsheet}};
  const QStringList args = app.arguments().mid(1);
  const QRegularExpressionMatch size = QRegularExpression("^(\\d+)x(\\d+)$").match(args.value(1));
  if (args.size() != 3 || !kinds.count(args[0]) || !size.hasMatch()) {
    std::fprintf(stderr, "usage: crel-dense-page tiny|log|grid WIDTHxHEIGHT OUT.png\n");
    return 2;
  }
  const QImage page = crel::test::densePage(kinds.at(args[0]), {size.captured(1).toInt(), size.captured(2).toInt()});
  return page.save(args[2]) ? 0 : 1;
}
