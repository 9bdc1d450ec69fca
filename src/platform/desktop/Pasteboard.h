#pragma once

#include <QByteArray>
#include <QImage>
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
  // Makes `text` the whole content in one step: on refusal the previous
  // content is still there. The default clears first and cannot promise that.
  virtual bool replaceWithText(const QString &text) {
    clear();
    return writeText(text);
  }

  // What a paste asking for `mimeType` gets: the bytes written for it;
  // empty when none were.
  QByteArray read(const QString &mimeType) const;
  // The image a paste gets: the first written representation that decodes;
  // null when none does.
  QImage readImage() const;

  // The system clipboard, unless a stand-in is installed.
  static Pasteboard &general();
  // Makes general() answer `board` until called again with nullptr. The
  // self-test installs a private board so a run never touches the clipboard.
  static void overrideGeneral(Pasteboard *board);

protected:
  // Every representation on the board, by MIME type.
  virtual QMap<QString, QByteArray> representations() const = 0;
};

// The system clipboard through QClipboard.
class ClipboardPasteboard final : public Pasteboard {
public:
  void clear() override;
  bool writeData(const QString &mimeType, const QByteArray &data) override;
  bool writeText(const QString &text) override;
  bool replaceWithText(const QString &text) override;

protected:
  QMap<QString, QByteArray> representations() const override;

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
  bool replaceWithText(const QString &text) override;

  // The written data, and the text as "text/plain", as a paste would see them.
  QMap<QString, QByteArray> representations() const override;

  bool failWrites = false;
  int clearCount = 0;
  QMap<QString, QByteArray> data;
  std::optional<QString> text;
};

} // namespace crel
