#pragma once

#include "document/Ink.h"
#include "document/UpdateSnapshot.h"

#include <QImage>

#include <functional>

class QWidget;

namespace crel::NativeTests {

// The driver's 800 x 600 bitmap: rows 0-299 white, rows 300-599 grey 0.65,
// opaque, sRGB. Every call builds new pixels. Throws Failure when the bitmap
// cannot be made.
QImage driverFixture();

// Runs the main event loop for `ms` milliseconds, so scheduled work (timers,
// queued calls, deferred deletes) lands.
void pumpFor(int ms);

// Runs the main event loop in steps of `stepMs` until `condition` holds or
// `deadlineMs` have passed; answers the condition's last value.
bool pumpUntil(const std::function<bool()> &condition, int deadlineMs, int stepMs);

// Entry `index` (from 0) of the ink palette; a missing entry ends the run
// with a failure naming it instead of reading past the list.
const Ink &paletteInk(qsizetype index);

// A new mark of `tool` from `start` to `end` as the checks make them: the
// first palette ink, head scale 1, a 40-pixel font in a 320-pixel box.
Mark checkMark(MarkTool tool, QPointF start, QPointF end, double width);

// The bytes of the file at `path`; a file that cannot be read ends the run
// with a failure naming it.
QByteArray readFile(const QString &path);
// Replaces the file at `path` with `bytes` in place, as a plain write does.
void writeFile(const QString &path, const QByteArray &bytes);

// `snapshot` written as JSON and read back, as an update hands it to the
// relaunched application. A snapshot that does not survive the trip ends the
// run with a failure naming it.
UpdateSnapshot throughJson(const UpdateSnapshot &snapshot);

// What showing a window would do first, for one that is never shown: every
// layout of its tree takes effect, and rendering delivers the resizes a
// hidden window keeps pending.
void layOut(QWidget &window);

// Orders a window out when the suite that built it leaves, by any path.
class HideOnExit {
public:
  explicit HideOnExit(QWidget *window) : window_(window) {}
  ~HideOnExit();
  HideOnExit(const HideOnExit &) = delete;
  HideOnExit &operator=(const HideOnExit &) = delete;

private:
  QWidget *window_;
};

} // namespace crel::NativeTests
