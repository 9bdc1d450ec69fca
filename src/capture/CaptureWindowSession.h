#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace crel {

// Remembers which of our windows had the keyboard when a capture began, so
// it can have it back when the capture ends without an image.
class CaptureWindowSession final : public QObject {
  Q_OBJECT

public:
  // Remembers `keyWindow` when it is visible and not minimised.
  explicit CaptureWindowSession(QWidget *keyWindow);
  // Our key window now, if any.
  static QWidget *currentKeyWindow();

  QWidget *keyWindow() const { return keyWindow_; }
  bool isClosed() const { return closed_; }

  // Without an image, gives the window the keyboard again unless it was
  // closed, hidden, minimised or destroyed meanwhile. After an image nothing
  // is restored: the editor about to open takes the focus. Forgets the
  // window either way.
  void restore(bool captured);

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  QPointer<QWidget> keyWindow_;
  bool closed_ = false;
};

} // namespace crel
