#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <optional>

namespace crel {

// The general pasteboard: cleared, then written one representation at a time.
// Writes report whether the pasteboard took the data.
class Pasteboard {
public:
  virtual ~Pasteboard() = default;
  virtual void clear() = 0;
  virtual bool writeData(const QString &mimeType, const QByteArray &data) = 0;
  virtual bool writeText(const QString &text) = 0;

  // The system clipboard, unless a stand-in is installed.
  static Pasteboard &general();
  // Makes general() answer `board` until called again with nullptr. The
  // self-test installs a private board so a run never touches the clipboard.
  static void overrideGeneral(Pasteboard *board);
};

// The system clipboard through QClipboard.
class ClipboardPasteboard final : public Pasteboard {
public:
  void clear() override;
  bool writeData(const QString &mimeType, const QByteArray &data) override;
  bool writeText(const QString &text) override;

private:
  void publish();
  QMap<QString, QByteArray> formats_;
  QString text_;
  bool hasText_ = false;
};

// In-memory pasteboard for tests; its writes can be told to fail.
class FakePasteboard final : public Pasteboard {
public:
  void clear() override;
  bool writeData(const QString &mimeType, const QByteArray &data) override;
  bool writeText(const QString &text) override;

  bool failWrites = false;
  int clearCount = 0;
  QMap<QString, QByteArray> data;
  std::optional<QString> text;
};

} // namespace crel
