#pragma once

#include "capture/CaptureSnapshot.h"

#include <QRect>
#include <QRgb>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QScreen;

// Known pictures on the displays of the X test bed.
namespace crel::test {

constexpr QRgb colours[] = {0xffe01010, 0xff1030e0};

// The test bed's layout name; empty outside it.
QString layout();

// Paints the root window a known colour over a connection of our own.
void paintRoot(QRgb colour);

std::unique_ptr<QWidget> colouredWindow(QRect logical, QRgb colour, Qt::WindowFlags flags, const QString &title);

// Fills each display's part of the root window with the colours of
// capture/portal/CodedDesktop.h for that display (screens()[i] is display i),
// so a shifted, scaled or other display's read shows other colours; waits
// until the server shows them.
void paintRootPattern();

struct Stills {
  std::vector<CaptureSnapshot> snapshots;
  std::exception_ptr error;
};

// Every display's still through `provider`, waiting for the answer.
Stills take(SnapshotProvider &provider);

// Runs `connect` with the authorisation of a client the server does not
// trust (xcb reads it when a connection is made); false when the test bed
// offers none.
bool asUntrustedClient(const std::function<void()> &connect);

// The sentence of an error, empty for none.
QString describe(const std::exception_ptr &error);

} // namespace crel::test
