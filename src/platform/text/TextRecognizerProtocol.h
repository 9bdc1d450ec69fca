#pragma once

#include "platform/text/TextRecognizer.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

namespace crel {

// How the application and crel-text-recognizer, the process that reads one
// page with Tesseract so that the page can be given up at any moment, talk.
// The request goes to the helper's standard input, which the application then
// closes; the outcome comes back on its standard output.
namespace TextRecognizerProtocol {

struct Request {
  QString dataPath;
  QString language;
  int engineCount = 0;
  QImage page; // 8-bit grey, as the recogniser reads it
};

// Sent as grey: a quarter of the bytes, and what the recogniser makes of
// any image anyway.
QByteArray encodeRequest(const Request &request);
std::optional<Request> decodeRequest(const QByteArray &bytes);

QByteArray encodeOutcome(const TextRecognitionOutcome &outcome);
std::optional<TextRecognitionOutcome> decodeOutcome(const QByteArray &bytes);

enum Exit : int { answered = 0, badRequest = 2 };

} // namespace TextRecognizerProtocol

} // namespace crel
