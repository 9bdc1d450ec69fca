#include "StatusGroup.h"

#include "AdaptiveStack.h"
#include "BarModel.h"
#include "EditorView.h"
#include "ShortcutPopover.h"

#include "chrome/ChromeButton.h"
#include "chrome/ChromeColors.h"
#include "chrome/ChromeFonts.h"
#include "chrome/ChromeIconButton.h"
#include "chrome/ChromeSegmented.h"
#include "chrome/HintController.h"
#include "chrome/Symbols.h"
#include "document/AnnotationStyle.h"
#include "document/CrelDocument.h"
#include "platform/base/Translate.h"

#include <QMenu>
#include <QPainter>

#include <cmath>

namespace crel {

namespace {

QFont labelFont() { return ChromeFonts::font(12, QFont::Medium); }

// A few controls side by side at their ideal sizes, centred vertically.
class Row : public QWidget {
public:
  Row(QList<QWidget *> items, int spacing, QWidget *parent) : QWidget(parent), items_(items), spacing_(spacing) {
    for (QWidget *item : items_)
      item->setParent(this);
  }
  QSize sizeHint() const override {
    int w = 0, h = 0;
    for (const QWidget *item : items_) {
      w += item->sizeHint().width();
      h = std::max(h, item->sizeHint().height());
    }
    return {w + spacing_ * int(std::max<qsizetype>(items_.size() - 1, 0)), h};
  }

protected:
  void resizeEvent(QResizeEvent *) override {
    int x = 0;
    for (QWidget *item : items_) {
      const QSize s = item->sizeHint();
      item->setGeometry(x, (height() - s.height()) / 2, s.width(), s.height());
      x += s.width() + spacing_;
    }
  }

private:
  QList<QWidget *> items_;
  int spacing_;
};

// The save indicator: its symbol, and when detailed the state's title, a
// dot and the canvas size. 32 high, 8 of side padding.
class SaveLabel : public QWidget {
public:
  SaveLabel(bool detailed, QWidget *parent) : QWidget(parent), detailed_(detailed) {
    setObjectName(detailed ? QStringLiteral("save-label-detailed") : QStringLiteral("save-label"));
  }

  void refresh(const CrelDocument &document) {
    const BarModel::SaveState state = BarModel::saveState(document);
    symbol_ = BarModel::symbol(state);
    parts_ = {BarModel::title(state), QStringLiteral("\u00B7"), BarModel::sizeText(BarModel::canvasSize(document))};
    setToolTip(BarModel::saveHelp(document));
    setAccessibleName(detailed_ ? parts_.join(QLatin1Char(' ')) : parts_.first());
    updateGeometry();
    update();
  }

  QSize sizeHint() const override {
    double w = 2 * padding + Symbols::boxSide(12);
    if (detailed_) {
      const QFontMetricsF m(labelFont());
      for (const QString &part : parts_)
        w += spacing + m.horizontalAdvance(part);
    }
    return {int(std::ceil(w)), 32};
  }

protected:
  void paintEvent(QPaintEvent *) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = Symbols::boxSide(12);
    double x = padding;
    Symbols::paint(painter, symbol_, QRectF(x, (height() - side) / 2, side, side), 12, QFont::Medium,
                   ChromeColors::secondaryLabel());
    if (!detailed_)
      return;
    x += side;
    painter.setFont(labelFont());
    const QFontMetricsF m(labelFont());
    for (int i = 0; i < parts_.size(); ++i) {
      x += spacing;
      const double w = m.horizontalAdvance(parts_[i]);
      painter.setPen(i == 1 ? ChromeColors::tertiaryLabel() : ChromeColors::secondaryLabel());
      painter.drawText(QRectF(x, 0, w + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, parts_[i]);
      x += w;
    }
  }

private:
  static constexpr double padding = 8, spacing = 5;
  bool detailed_;
  QString symbol_;
  QStringList parts_;
};

// "Couldn’t save" in red with its warning symbol, never shortened.
class ErrorLabel : public QWidget {
public:
  explicit ErrorLabel(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("save-error"));
    setAccessibleName(text());
  }
  static QString text() { return BarModel::title(BarModel::SaveState::error); }
  QSize sizeHint() const override {
    return {int(std::ceil(12 + Symbols::boxSide(12) + 5 + QFontMetricsF(labelFont()).horizontalAdvance(text()))), 32};
  }

protected:
  void paintEvent(QPaintEvent *) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = Symbols::boxSide(12);
    Symbols::paint(painter, BarModel::symbol(BarModel::SaveState::error), QRectF(6, (height() - side) / 2, side, side),
                   12, QFont::Medium, ChromeColors::red());
    painter.setFont(labelFont());
    painter.setPen(ChromeColors::red());
    painter.drawText(QRectF(6 + side + 5, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter, text());
  }
};

ChromeSegmented *makePicker(QWidget *parent) {
  auto *picker = new ChromeSegmented(parent);
  QStringList texts, helps;
  for (AnnotationStyle style : allCases<AnnotationStyle>()) {
    texts << label(style);
    helps << crel::tr("%1: %2. Applies to every mark in this crel.").arg(label(style), description(style));
  }
  picker->setOptions(ChromeSegmented::textOptions(texts, helps, labelFont()),
                     ChromeSegmented::textPainter(texts, labelFont()));
  picker->setIdentifier(QStringLiteral("annotation-style"));
  return picker;
}

// A text button 28 high with 8 of side padding on a radius-8 fill.
class TextButton : public ChromeButton {
public:
  TextButton(const QString &text, QWidget *parent) : ChromeButton(text, parent) {
    setCornerRadius(8);
    setFont(ChromeFonts::font(12, QFont::DemiBold));
  }
  QSize sizeHint() const override { return {int(std::ceil(QFontMetricsF(font()).horizontalAdvance(text()) + 16)), 28}; }
};

// The style menu's face: the current style and a small chevron.
class StyleMenuButton : public TextButton {
public:
  explicit StyleMenuButton(QWidget *parent) : TextButton(QString(), parent) {
    setObjectName(QStringLiteral("annotation-style"));
    setAccessibleName(crel::tr("Annotation style"));
    setToolTip(crel::tr("Annotation style for every mark in this crel"));
    setContentPainter([this](QPainter &painter, const QRectF &rect, const QColor &color) {
      const QFontMetricsF m(font());
      const double textWidth = m.horizontalAdvance(text());
      const double x = rect.left() + 8;
      painter.setFont(font());
      painter.setPen(color);
      painter.drawText(QRectF(x, rect.top(), textWidth + 1, rect.height()), Qt::AlignLeft | Qt::AlignVCenter, text());
      const double side = Symbols::boxSide(8);
      Symbols::paint(painter, QStringLiteral("chevron.down"),
                     QRectF(x + textWidth + 3, rect.center().y() - side / 2, side, side), 8, QFont::Bold,
                     ChromeColors::secondaryLabel());
    });
  }
  QSize sizeHint() const override {
    return {int(std::ceil(QFontMetricsF(font()).horizontalAdvance(text()) + 3 + Symbols::boxSide(8) + 16)), 28};
  }
};

} // namespace

StatusGroup::StatusGroup(EditorView &view)
    : BarGroup(QStringLiteral("group-status"), QString(), {236, 150}, &view), view_(view) {
  stack_ = new AdaptiveStack(this);
  const auto saveLabel = [this](bool detailed) {
    auto *l = new SaveLabel(detailed, this);
    saveLabels_.append(l);
    return l;
  };
  const auto picker = [this] {
    auto *p = makePicker(this);
    connect(p, &ChromeSegmented::selected, this, &StatusGroup::chooseStyle);
    pickers_.append(p);
    return p;
  };
  auto *menu = new StyleMenuButton(this);
  menus_.append(menu);
  connect(menu, &QAbstractButton::clicked, this, [this, menu] {
    QMenu popup(menu);
    const AnnotationStyle current = view_.document().annotationStyle();
    for (AnnotationStyle style : allCases<AnnotationStyle>()) {
      QAction *item = popup.addAction(label(style));
      item->setCheckable(true);
      item->setChecked(style == current);
      connect(item, &QAction::triggered, this, [this, style] { chooseStyle(int(style)); });
    }
    popup.exec(menu->mapToGlobal(QPoint(0, menu->height() + 2)));
  });
  stack_->addCandidate(new Row({picker(), saveLabel(true)}, 4, this));
  stack_->addCandidate(new Row({picker(), saveLabel(false)}, 4, this));
  stack_->addCandidate(new Row({menu, saveLabel(false)}, 2, this));
  stack_->addCandidate(new Row({saveLabel(false)}, 0, this));

  errorLabel_ = new ErrorLabel(this);
  chooseFolder_ = new TextButton(crel::tr("Choose folder\u2026"), this);
  chooseFolder_->setObjectName(QStringLiteral("choose-folder"));
  connect(chooseFolder_, &QAbstractButton::clicked, this, [this] {
    if (view_.actions().chooseFolder)
      view_.actions().chooseFolder();
  });

  keyboard_ =
      new ChromeIconButton(QStringLiteral("keyboard"), QStringLiteral("shortcuts"),
                           ChromeHint{crel::tr("Keyboard shortcuts"), {}, ChromeHint::Edge::top}, &view.hints(), this);
  keyboard_->setObjectName(QStringLiteral("shortcuts"));
  connect(keyboard_, &QAbstractButton::clicked, this, &StatusGroup::toggleShortcuts);
  refresh(view.document());
}

void StatusGroup::toggleShortcuts() {
  if (!popover_) {
    // Read when the popover opens: the window's owner may hand the rows in later.
    popover_ = new ShortcutPopover(
        [this] {
          if (const ShortcutGuideView::Source &source = view_.shortcutGuide())
            return source();
          return ShortcutGuideView::Content{{}, ShortcutPopover::toolRows(), {}};
        },
        this);
    connect(popover_, &ShortcutPopover::dismissed, this, [this] { showShortcuts_ = false; });
  }
  if (showShortcuts_) {
    popover_->hide();
    return;
  }
  showShortcuts_ = true;
  popover_->popUp(keyboard_);
}

void StatusGroup::chooseStyle(int index) {
  const auto &styles = allCases<AnnotationStyle>();
  if (index >= 0 && index < int(styles.size()))
    view_.document().setStyle(styles[index]);
  view_.focusCanvas();
}

QList<QWidget *> StatusGroup::row() const {
  if (error_)
    return {errorLabel_, chooseFolder_, keyboard_};
  return {stack_, keyboard_};
}

void StatusGroup::refresh(const CrelDocument &document) {
  error_ = BarModel::saveState(document) == BarModel::SaveState::error;
  const int styleIndex = int(document.annotationStyle());
  for (ChromeSegmented *p : pickers_)
    p->setSelection(styleIndex);
  for (ChromeButton *m : menus_) {
    m->setText(label(document.annotationStyle()));
    m->setAccessibleDescription(m->text());
  }
  for (QWidget *l : saveLabels_)
    static_cast<SaveLabel *>(l)->refresh(document);
  stack_->setVisible(!error_);
  errorLabel_->setVisible(error_);
  chooseFolder_->setVisible(error_);
  if (error_) {
    setCandidateWidths({rowWidth(row(), 2)});
  } else {
    QList<double> widths;
    const double rest = rowWidth({keyboard_}, 0) + 2;
    for (double w : stack_->candidateWidths())
      widths.append(w + rest);
    setCandidateWidths(widths);
  }
  layoutContent();
}

void StatusGroup::layoutContent() {
  if (!error_)
    stack_->fit(width() - rowWidth({keyboard_}, 0) - 2);
  placeRow(row(), 2);
}

void StatusGroup::resizeEvent(QResizeEvent *event) {
  BarGroup::resizeEvent(event);
  layoutContent();
}

} // namespace crel
