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

QMimeData *CommandText::createMimeDataFromSelection() const {
  auto *data = new QMimeData;
  QString text = textCursor().selection().toPlainText();
  text.remove(wordJoiner);
  data->setText(text);
  return data;
}

} // namespace crel
