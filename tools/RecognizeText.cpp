// Prints the words recognised on an image, one line per word:
// line, order, rectangle (x y width height, image pixels) and text.
//   crel-recognize-text <image>        an image file
//   crel-recognize-text --fixture [out.png]   the built-in recognition page
//   --scale F before either resamples the image first (smooth), to try other
//   screen densities.

#include "ToolUsage.h"

#include "document/CrelError.h"
#include "document/TextRecognition.h"
#include "platform/image/ImageDecoder.h"
#include "platform/text/TesseractTextRecognizer.h"
#include "platform/text/TextRecognitionError.h"
#include "selfcheck/TextRecognitionFixture.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("CREL_BUNDLE_DIR"))
    qputenv("CREL_BUNDLE_DIR", CREL_RECOGNIZE_TEXT_BUNDLE_DIR);
  QGuiApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  double scale = 1;
  bool scaleOk = true;
  if (args.size() > 2 && args[0] == "--scale") {
    scale = args[1].toDouble(&scaleOk);
    args = args.mid(2);
  }
  const bool fixture = args.value(0) == "--fixture";
  if (args.isEmpty() || !scaleOk || scale <= 0 || args.size() > (fixture ? 2 : 1) ||
      crel::tools::wantsUsage(args.mid(fixture ? 1 : 0)))
    return crel::tools::printUsage("usage: crel-recognize-text [--scale F] <image> | --fixture [out.png]\n");
  QImage image;
  if (fixture) {
    image = crel::TextRecognitionFixture::page();
    if (args.size() > 1 && !image.save(args[1])) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(args[1]));
      return 1;
    }
  } else {
    image = crel::ImageDecoder::read(args[0]);
    if (image.isNull()) {
      std::fprintf(stderr, "cannot read %s: %s\n", qPrintable(args[0]),
                   qPrintable(crel::CrelError::invalidImage().errorDescription()));
      return 1;
    }
  }
  if (scale != 1)
    image = image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  crel::TesseractTextRecognizer recognizer(crel::TesseractTextRecognizer::Options::forUser());
  QElapsedTimer timer;
  timer.start();
  try {
    const crel::RecognizedText text = crel::TextRecognition::recognize(recognizer, image);
    for (const crel::RecognizedWord &word : text.words)
      std::printf("%d\t%d\t%g %g %g %g\t%s\n", word.line, word.order, word.rect.x(), word.rect.y(), word.rect.width(),
                  word.rect.height(), qPrintable(word.text));
    std::fprintf(stderr, "%lld words in %lld ms\n", static_cast<long long>(text.words.size()),
                 static_cast<long long>(timer.elapsed()));
  } catch (const crel::TextRecognitionError &error) {
    std::fprintf(stderr, "%s\n", qPrintable(error.description()));
    return 1;
  }
  return 0;
}
