#pragma once

#include <QObject>

class QSocketNotifier;

namespace crel {

// Turns SIGTERM, SIGINT and SIGHUP into a signal on the main thread, so a
// logout or `kill` ends the application through its normal quit path
// instead of dropping pending work. The handler only writes to a pipe; a
// request the event loop has not taken within 5 s ends the process, so a
// main thread that hangs does not make it ignore SIGTERM. Once the loop took
// one, or the quit road started otherwise, later signals never cut that road
// short: everything it waits for must end of itself.
class SignalBridge : public QObject {
  Q_OBJECT
public:
  // One per process; installing a second one fails (returns null).
  static SignalBridge *install(QObject *parent);
  ~SignalBridge() override;

  // The quit road runs (Ctrl+Q, the tray's Quit, an update's quit, a signal
  // the loop took): no signal from now on arms the grace.
  static void quitRoadStarted();
  // The user kept the application: a hang from now on is one again.
  static void quitRoadCancelled();

Q_SIGNALS:
  void terminationRequested(int signalNumber);

private:
  explicit SignalBridge(QObject *parent);
  void readPipe();

  QSocketNotifier *notifier_ = nullptr;
};

} // namespace crel
