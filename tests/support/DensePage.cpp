#include "DensePage.h"

#include <QFont>
#include <QPainter>

namespace crel::test {

namespace {

QFont pixelFont(const char *family, int pixels, bool antialiased) {
  QFont font{QString::fromLatin1(family)};
  font.setPixelSize(pixels);
  if (!antialiased)
    font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

void tinyText(QPainter &painter, QSize size) {
  painter.setFont(pixelFont("DejaVu Sans Mono", 10, false));
  painter.setPen(Qt::black);
  const QString sentence = "The quick brown fox jumps over the lazy dog while 12 wizards box jolly quick. ";
  const QString line = sentence.repeated(size.width() / (6 * int(sentence.size())) + 1);
  for (int y = 10; y < size.height(); y += 12)
    painter.drawText(0, y, line);
}

void terminalLog(QPainter &painter, QSize size) {
  painter.fillRect(QRect(QPoint(0, 0), size), QColor(30, 30, 30));
  painter.setFont(pixelFont("DejaVu Sans Mono", 13, true));
  painter.setPen(QColor(210, 210, 210));
  for (int y = 14, i = 0; y < size.height(); y += 16, ++i) {
    const QString entry = QString("2026-12-07 12:%1:%2.%3 INFO [worker-%4] request id=%5 path=/api/v1/items/%6 "
                                  "status=200 bytes=%7 took=%8ms ")
                              .arg(i % 60, 2, 10, QChar('0'))
                              .arg(i * 7 % 60, 2, 10, QChar('0'))
                              .arg(i * 37 % 1000, 3, 10, QChar('0'))
                              .arg(i % 16)
                              .arg(100000 + i * 7919)
                              .arg(i * 13 % 5000)
                              .arg(i * 977 % 65536)
                              .arg(i % 900);
    painter.drawText(4, y, entry.repeated(size.width() / 800 + 1));
  }
}

void spreadsheet(QPainter &painter, QSize size) {
  painter.setPen(QColor(200, 200, 200));
  for (int x = 0; x < size.width(); x += 80)
    painter.drawLine(x, 0, x, size.height());
  for (int y = 0; y < size.height(); y += 20)
    painter.drawLine(0, y, size.width(), y);
  painter.setFont(pixelFont("DejaVu Sans", 12, true));
  painter.setPen(Qt::black);
  for (int y = 0, row = 0; y < size.height(); y += 20, ++row)
    for (int x = 0, column = 0; x < size.width(); x += 80, ++column)
      painter.drawText(x + 4, y + 15, QString::number((row * 31 + column * 17) % 100000 / 7.0, 'f', 2));
}

void prose(QPainter &painter, QSize size) {
  painter.setFont(pixelFont("DejaVu Sans", 14, true));
  painter.setPen(QColor(0x1f, 0x1f, 0x1f));
  const QString sentence = "Each trigger is named, and at any time zero or more packages may be interested in it. ";
  const QString line = sentence.repeated(size.width() / 640 + 1);
  for (int y = 30, row = 0; y < size.height(); y += 21, ++row)
    painter.drawText(12, y, row % 8 == 7 ? QString() : line.mid(row % 5 * 9));
}

} // namespace

QImage densePage(DensePage kind, QSize size) {
  QImage page(size, QImage::Format_RGB32);
  page.fill(Qt::white);
  QPainter painter(&page);
  switch (kind) {
  case DensePage::tinyText: tinyText(painter, size); break;
  case DensePage::terminalLog: terminalLog(painter, size); break;
  case DensePage::spreadsheet: spreadsheet(painter, size); break;
  case DensePage::prose: prose(painter, size); break;
  }
  return page;
}

} // namespace crel::test
