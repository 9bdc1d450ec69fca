// Starts text recognition of a page full of words with the application's
// shared recogniser, then leaves the application after the given number of
// milliseconds, while the recognition is most likely still running, or, given
// "finished", as soon as its outcome arrives. Prints "finished" when the
// outcome arrived first, else "quit".
//   crel-quit-during-recognition <milliseconds> | finished

#include "document/TextRecognition.h"

#include <QGuiApplication>
#include <QPainter>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv) {
  if (argc != 2)
    return 2;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QImage page(1600, 1200, QImage::Format_ARGB32_Premultiplied);
  page.fill(Qt::white);
  {
    QPainter painter(&page);
    QFont font("DejaVu Sans");
    font.setPixelSize(18);
    painter.setFont(font);
    for (int row = 0; row < 40; ++row)
      painter.drawText(QPointF(20, 30 + row * 29), QString("row %1 harbor garden station river bridge forest meadow "
                                                           "quarterly budget review deploy")
                                                       .arg(row));
  }
  bool finished = false;
  const bool untilFinished = qstrcmp(argv[1], "finished") == 0;
  crel::TextRecognition::recognizeInBackground(crel::TextRecognizer::shared(), page, &app,
                                               [&](crel::TextRecognition::Outcome) {
                                                 finished = true;
                                                 if (untilFinished)
                                                   QCoreApplication::quit();
                                               });
  if (!untilFinished)
    QTimer::singleShot(std::atoi(argv[1]), &app, &QCoreApplication::quit);
  app.exec();
  std::printf("%s\n", finished ? "finished" : "quit");
  return 0;
}
