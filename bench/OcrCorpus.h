#pragma once

#include "platform/text/TesseractTextRecognizer.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

namespace crel::bench {

// A page of real text drawn as a screenshot would show it, with the words
// that remain visible on it (tokens holding a letter or a digit).
struct OcrPage {
  QString name;
  QImage image;
  QStringList words;
};

// Documentation installed on every Debian system this builds on (licence
// texts, the dpkg trigger notes, library headers and their C type tables),
// drawn at bench time: prose and code, at 1x and 2x, light and dark. Pages
// whose source file is missing are left out.
std::vector<OcrPage> documentationPages();

// A 5120x2880 desktop of overlapping windows made from the same files, in
// mixed themes and sizes; words covered by a later window are not counted.
OcrPage busyDesktop();

// How many of `truth` appear among `found`, each found token used once.
int matchedWords(const QStringList &found, const QStringList &truth);

// The `tesseract` command line's arguments that read a page the way our
// engines are set up with `options` (data, languages, engine, page layout,
// resolution and variables), before the image and output names.
QStringList commandLineArguments(const TesseractTextRecognizer::Options &options);

} // namespace crel::bench
