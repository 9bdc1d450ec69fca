#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include <optional>

class QObject;

namespace crel {

// Images the user opens from outside: PNG, JPEG, TIFF or HEIC, judged by
// their content rather than their name, so that no other decoder ever sees
// a file offered as an image.
namespace ImageOpening {

enum class Format { none, png, jpeg, tiff, heic };
// The format the first bytes of a file announce; none for anything else
// (GIF, SVG, text, an empty file...).
Format sniff(const QByteArray &head);

// Why a file did not open. undecodable: the file starts as one of the four
// formats but its image could not be decoded (damaged, or cut short).
// sideTooLong: within the pixel limit, but longer on a side than any image
// that can be saved.
enum class Problem { notFound, notReadable, notRegularFile, notImage, tooLarge, undecodable, sideTooLong };

struct Outcome {
  QImage image;                   // full size, upright, in a format the editor takes
  std::optional<Problem> problem; // set exactly when image is null
  Format format = Format::none;   // what the first bytes announced, when they were read
};

// Never blocks on what is not a regular file (FIFO, socket, device), which
// is refused before it is opened; the size limit is checked from the
// header, before any pixel memory is allocated. Safe on any thread.
Outcome open(const QString &path);

// How one file is read; open() unless a test stands in.
using Reader = std::function<Outcome(const QString &path)>;
// Reads the files in order away from the main thread, so that a file on a
// stalled mount freezes no editor, and hands the outcomes, in the same
// order, to `done` on `context`'s thread unless `context` is gone by then.
// A read that never returns keeps only its own thread.
void openInBackground(const QStringList &paths, QObject *context, const Reader &reader,
                      std::function<void(std::vector<Outcome>)> done);

// The same, throwing CrelError::invalidImage with the message that names
// the file and the problem.
QImage readImage(const QString &path);

struct Failure {
  QString path; // as the user gave it
  Problem problem;
  Format format = Format::none; // names the format of an undecodable file
};
// One message for every file of one request that did not open, short
// enough for any screen: it names the first few, counts the rest, and
// counts the `notOpened` files the request had no room for.
QString failureMessage(const QList<Failure> &failures, qsizetype notOpened = 0);

// The file dialog's filter.
QString nameFilter();

} // namespace ImageOpening

} // namespace crel
