#include "TextRecognizerProtocol.h"

#include "platform/text/GrayImage.h"

#include <QDataStream>
#include <QIODevice>

#include <cstring>

namespace crel::TextRecognizerProtocol {

namespace {

constexpr quint32 kRequestMagic = 0x43524c52; // "CRLR"
constexpr quint32 kOutcomeMagic = 0x43524c4f; // "CRLO"
constexpr qint32 kMaxSide = 1 << 16;

void put(QDataStream &out, const geom::Rect &rect) {
  out << rect.isNull() << rect.x() << rect.y() << rect.width() << rect.height();
}

geom::Rect take(QDataStream &in) {
  bool null = true;
  double x = 0, y = 0, width = 0, height = 0;
  in >> null >> x >> y >> width >> height;
  return null ? geom::Rect() : geom::Rect(x, y, width, height);
}

} // namespace

QByteArray encodeRequest(const Request &request) {
  const GrayImage gray = GrayImage::from(request.page);
  QByteArray bytes;
  bytes.reserve(qsizetype(gray.pixels.size()) + 1024);
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out << kRequestMagic << request.dataPath << request.language << qint32(request.engineCount) << qint32(gray.width)
      << qint32(gray.height);
  out.writeRawData(reinterpret_cast<const char *>(gray.pixels.data()), int(gray.pixels.size()));
  return bytes;
}

std::optional<Request> decodeRequest(const QByteArray &bytes) {
  QDataStream in(bytes);
  quint32 magic = 0;
  Request request;
  qint32 engines = 0, width = 0, height = 0;
  in >> magic >> request.dataPath >> request.language >> engines >> width >> height;
  if (in.status() != QDataStream::Ok || magic != kRequestMagic || width < 0 || height < 0 || width > kMaxSide ||
      height > kMaxSide)
    return std::nullopt;
  const qint64 size = qint64(width) * height;
  const qint64 at = in.device()->pos();
  if (bytes.size() - at != size)
    return std::nullopt;
  request.engineCount = engines;
  if (size > 0) {
    request.page = QImage(width, height, QImage::Format_Grayscale8);
    if (request.page.isNull())
      return std::nullopt;
    for (int y = 0; y < height; ++y)
      std::memcpy(request.page.scanLine(y), bytes.constData() + at + qint64(y) * width, std::size_t(width));
  }
  return request;
}

QByteArray encodeOutcome(const TextRecognitionOutcome &outcome) {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out << kOutcomeMagic << outcome.failed << outcome.errorDescription << quint32(outcome.observations.size());
  for (const TextObservation &line : outcome.observations) {
    out << line.confidence;
    put(out, line.bounds);
    out << quint32(line.words.size());
    for (const TextObservation::Word &word : line.words) {
      out << word.text;
      put(out, word.rect);
    }
  }
  return bytes;
}

std::optional<TextRecognitionOutcome> decodeOutcome(const QByteArray &bytes) {
  QDataStream in(bytes);
  quint32 magic = 0, lines = 0;
  TextRecognitionOutcome outcome;
  in >> magic >> outcome.failed >> outcome.errorDescription >> lines;
  if (in.status() != QDataStream::Ok || magic != kOutcomeMagic)
    return std::nullopt;
  for (quint32 l = 0; l < lines && in.status() == QDataStream::Ok; ++l) {
    TextObservation line;
    quint32 words = 0;
    in >> line.confidence;
    line.bounds = take(in);
    in >> words;
    for (quint32 w = 0; w < words && in.status() == QDataStream::Ok; ++w) {
      TextObservation::Word word;
      in >> word.text;
      word.rect = take(in);
      line.words.push_back(std::move(word));
    }
    outcome.observations.push_back(std::move(line));
  }
  if (in.status() != QDataStream::Ok || !in.atEnd())
    return std::nullopt;
  return outcome;
}

} // namespace crel::TextRecognizerProtocol
