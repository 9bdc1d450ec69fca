#pragma once

#include <QTextEdit>

namespace crel {

// A command to be typed elsewhere (a desktop's key binding, a config line),
// shown whole in monospace: it can be selected and copied, and the copy is
// the exact command. It wraps at its spaces, or anywhere in a word longer
// than a line, never at a hyphen of a path.
class CommandText final : public QTextEdit {
  Q_OBJECT
public:
  explicit CommandText(QWidget *parent = nullptr);

  void setCommand(const QString &command);
  QString command() const { return command_; }

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  QMimeData *createMimeDataFromSelection() const override;

private:
  QString command_;
};

} // namespace crel
