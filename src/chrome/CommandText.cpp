#include "CommandText.h"

#include "ShellText.h"

#include <QMimeData>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <cmath>

namespace crel {

namespace {

// Shown after each hyphen so that no line breaks there; never copied.
constexpr QChar wordJoiner(0x2060);

// Where a position in the field falls in `command`: the field shows a joiner
// after each hyphen, and takes "\r\n" as one line break.
qsizetype commandIndex(const QString &command, int position) {
  qsizetype index = 0;
  for (int shown = 0; index < command.size() && shown < position; ++index) {
    shown += command[index] == u'-' ? 2 : 1;
    if (command[index] == u'\r' && command.mid(index + 1, 1) == u"\n")
      ++index;
  }
  return index;
}

} // namespace

CommandText::CommandText(QWidget *parent) : QTextEdit(parent) {
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  setLineWrapMode(QTextEdit::WidgetWidth);
  setContextMenuPolicy(Qt::NoContextMenu);
  viewport()->setAutoFillBackground(false);
  setAttribute(Qt::WA_TranslucentBackground);
  document()->setDocumentMargin(0);
  const QFont font = ShellText::font({12, QFont::Normal, false, true});
  setFont(font);
  document()->setDefaultFont(font);
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

void CommandText::setCommand(const QString &command) {
  if (command == command_)
    return;
  command_ = command;
  QString shown = command;
  shown.replace(u'-', QString(u'-') + wordJoiner);
  setPlainText(shown);
  updateGeometry();
}

int CommandText::heightForWidth(int width) const {
  QTextDocument measured;
  measured.setDocumentMargin(0);
  measured.setDefaultFont(font());
  measured.setDefaultTextOption(document()->defaultTextOption());
  measured.setPlainText(toPlainText());
  measured.setTextWidth(std::max(1, width - 2 * frameWidth()));
  return int(std::ceil(measured.size().height())) + 2 * frameWidth();
}

QSize CommandText::sizeHint() const {
  const int width = QTextEdit::sizeHint().width();
  return {width, heightForWidth(width)};
}

QSize CommandText::minimumSizeHint() const { return {0, fontMetrics().lineSpacing()}; }

// The span of the command itself: the field's plain text would also turn
// no-break spaces into spaces and separators into newlines.
QMimeData *CommandText::createMimeDataFromSelection() const {
  const qsizetype start = commandIndex(command_, textCursor().selectionStart());
  auto *data = new QMimeData;
  data->setText(command_.mid(start, commandIndex(command_, textCursor().selectionEnd()) - start));
  return data;
}

} // namespace crel
