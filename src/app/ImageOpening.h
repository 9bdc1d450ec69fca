#pragma once

#include "platform/base/MemoryRoom.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

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
// that can be saved. noPixels: the header declares a side of 0. noMemory:
// the process has no room for its pixels now. The HEIC decoder could not be
// started, no fault of the file: noProcess, for a limit on processes or
// memory; noDescriptors, for too many open files; noDecoder, for a decoder
// missing from the copy.
enum class Problem {
  notFound,
  notReadable,
  notRegularFile,
  notImage,
  tooLarge,
  undecodable,
  sideTooLong,
  noPixels,
  noMemory,
  noProcess,
  noDescriptors,
  noDecoder
};

// What opening one request's images may take from memory. Each file's
// steady cost (what its editor holds while open) is weighed, in order,
// together with the largest transient cost among the request's files and
// the editors already open (autosaves run one at a time), against the room
// the process had when the request's first file was weighed: a request's
// images are all decoded before its first editor opens, and an image
// admitted is one its editor can also edit and save, and leaves every open
// editor able to save. What other requests admitted and have not opened yet
// is held back from that room too.
class Budget {
public:
  using Space = MemoryRoom::Space;
  // What one image takes: `steady` while its editor is open, and
  // `transient` more at its busiest moment: decoding, the first mark's
  // repaint, flattening and encoding an autosave.
  struct Cost {
    Space steady, transient;
  };
  // The room now; MemoryRoom::memoryRoom() when empty.
  using Room = std::function<Space()>;
  // `openPixels`: the most pixels an open editor flattens when it saves.
  explicit Budget(Room room = {}, double openPixels = 0)
      : room_(std::move(room)), openTransient_(cost(openPixels).transient) {}
  // Gives back what it held: its editors are open, or it was dropped.
  ~Budget();
  Budget(const Budget &) = delete;
  Budget &operator=(const Budget &) = delete;

  // True when an image of `pixels` fits; its cost is then held.
  bool admit(double pixels);
  static Cost cost(double pixels);

private:
  Space held() const;

  Room room_;
  Space openTransient_;
  std::optional<Space> room0_;
  Space steady_, transient_;
  static std::atomic<qint64> heldMemory_, heldAddressSpace_;
};

struct Outcome {
  QImage image;                   // full size, upright, in a format the editor takes
  std::optional<Problem> problem; // set exactly when image is null
  Format format = Format::none;   // what the first bytes announced, when they were read
};

// Never blocks on what is not a regular file (FIFO, socket, device), which
// is refused before it is opened; the size limit is checked from the
// header, before any pixel memory is allocated, and so is `budget` when
// given; no failure to allocate ends the process. Safe on any thread.
Outcome open(const QString &path, Budget *budget = nullptr);

// How one file is read, weighed against its request's budget; open() unless
// a test stands in.
using Reader = std::function<Outcome(const QString &path, Budget &budget)>;
// Reads the files in order away from the main thread, so that a file on a
// stalled mount freezes no editor, and hands the outcomes, in the same
// order, to `done` on `context`'s thread unless `context` is gone by then;
// the request's budget (over `room` and `openPixels`) is held until `done`
// returns. A read that never returns keeps only its own thread. With no
// thread to be had, the files are read on the caller's thread instead.
void openInBackground(const QStringList &paths, QObject *context, const Reader &reader, const Budget::Room &room,
                      double openPixels, std::function<void(std::vector<Outcome>)> done);

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
// counts the `notOpened` files the request had no room for. Closing editors
// is advised only when `editorsOpen`.
QString failureMessage(const QList<Failure> &failures, qsizetype notOpened = 0, bool editorsOpen = false);

// The file dialog's filter.
QString nameFilter();

} // namespace ImageOpening

} // namespace crel
