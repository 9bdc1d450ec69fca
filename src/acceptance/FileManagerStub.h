#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

class QWidget;

namespace crel::acceptance {

// The desktop's file manager in the acceptance session, served by the
// fixture: org.freedesktop.FileManager1 on the session bus. Each request
// shows the stub's own window in front, titled with what was asked for, so
// the run can tell from the window server alone who came to the front and
// which items it was given.
class FileManagerStub : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
  explicit FileManagerStub(QObject *parent = nullptr);
  ~FileManagerStub() override;

  // Takes the name on the session bus; false without a bus or when another
  // file manager already has it.
  bool serve();
  // The window's title after ShowItems(uris).
  static QString title(const QStringList &uris);

public Q_SLOTS:
  void ShowItems(const QStringList &uris, const QString &startupId);

private:
  QPointer<QWidget> window_;
};

} // namespace crel::acceptance
