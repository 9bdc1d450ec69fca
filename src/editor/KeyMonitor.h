#pragma once

#include "document/MarkTool.h"

#include <QObject>
#include <QPointer>

class QKeyEvent;
class QWidget;

namespace crel {

class CrelDocument;

// The editor's own keys, watched for the whole application while installed:
// tool letters, and with Ctrl: C (copy the picked text in the extract tool),
// D (duplicate), 0 (actual fit), + = - (zoom). It acts only on keys meant for
// its window while that window is active, has no window-modal dialog open and
// no editable text has the focus; everything else passes untouched. A key it
// takes also stops the application's shortcuts (Ctrl+C's Copy) from firing.
class KeyMonitor : public QObject {
  Q_OBJECT
public:
  struct Command {
    enum Kind { pass, copyText, duplicate, resetZoom, zoom, selectTool };
    Kind kind = pass;
    double zoomFactor = 1;            // for zoom
    MarkTool tool = MarkTool::select; // for selectTool
    friend bool operator==(const Command &, const Command &) = default;
  };

  // What the key does in a window whose monitor acts on it.
  static Command decide(const QKeyEvent &event, MarkTool currentTool, bool hasCanvas);

  // Watches qApp until destroyed or removed.
  KeyMonitor(QWidget &window, CrelDocument &document, QObject *parent = nullptr);
  ~KeyMonitor() override;
  void remove();

  // Whether a key for `window` would reach the monitor's decision at all.
  static bool watches(const QWidget &window);

protected:
  bool eventFilter(QObject *receiver, QEvent *event) override;

private:
  void perform(const Command &command);

  QPointer<QWidget> window_;
  QPointer<CrelDocument> document_;
  bool installed_ = false;
};

} // namespace crel
