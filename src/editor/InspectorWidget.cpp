#include "InspectorWidget.h"

#include "InkColorPanel.h"
#include "InspectorActions.h"
#include "InspectorControls.h"

#include "chrome/ChromeButton.h"
#include "chrome/ChromeDivider.h"
#include "chrome/ChromeFonts.h"
#include "chrome/ChromeHint.h"
#include "chrome/ChromeIconButton.h"
#include "chrome/ChromeSegmented.h"
#include "chrome/HintController.h"
#include "chrome/InkSwatch.h"
#include "chrome/PrimaryActionButton.h"
#include "chrome/Symbols.h"
#include "document/CrelDocument.h"
#include "platform/clipboard/Pasteboard.h"

#include <QPainter>

#include <cmath>

namespace crel {

namespace {

using Kind = InspectorControl::Kind;

QFont segmentFont() { return ChromeFonts::font(12, QFont::Medium); }

// The ink swatches and the custom swatch, 1 apart.
class InkPaletteRow : public QWidget {
public:
  using Perform = std::function<void(const InspectorAction &)>;
  InkPaletteRow(Perform perform, QWidget *parent) : QWidget(parent), perform_(std::move(perform)) {
    custom_ = new CustomInkSwatch(this);
    connect(custom_, &QAbstractButton::clicked, this, [this] {
      perform_({InspectorAction::Kind::openCustomInk, 0, {}});
    });
  }

  void set(const InspectorControl &c) {
    QList<Ink> inks;
    for (const InspectorControl::Swatch &s : c.swatches)
      inks.append(s.ink);
    if (inks != inks_) {
      qDeleteAll(swatches_);
      swatches_.clear();
      inks_ = inks;
      for (const Ink &ink : inks) {
        auto *swatch = new InkSwatch(ink.color(), ink.displayName(), this);
        connect(swatch, &QAbstractButton::clicked, this, [this, ink] {
          perform_({InspectorAction::Kind::setInk, 0, ink});
        });
        swatch->show();
        swatches_.append(swatch);
      }
      for (int i = 0; i < swatches_.size(); ++i)
        swatches_[i]->move(i * (InkSwatch::side + 1), 0);
      custom_->move(int(swatches_.size()) * (InkSwatch::side + 1), 0);
      updateGeometry();
    }
    for (int i = 0; i < swatches_.size(); ++i)
      swatches_[i]->setSelected(c.swatches[i].selected);
    custom_->setCurrent(c.customInk ? std::optional<QColor>(c.customInk->color()) : std::nullopt);
    setAccessibleName(c.accessibility);
  }
  QSize sizeHint() const override { return {int(swatches_.size() + 1) * (InkSwatch::side + 1) - 1, InkSwatch::side}; }
  InkSwatch *swatch(int i) const { return swatches_.value(i); }

private:
  Perform perform_;
  QList<Ink> inks_;
  QList<InkSwatch *> swatches_;
  CustomInkSwatch *custom_;
};

// A segmented control that keeps its segments while their look is unchanged.
class InspectorSegmented : public ChromeSegmented {
public:
  using ChromeSegmented::ChromeSegmented;

  void set(const InspectorControl &c) {
    if (c.segments != segments_ || c.glyph != glyph_ || c.segmentWidth != width_) {
      segments_ = c.segments;
      glyph_ = c.glyph;
      width_ = c.segmentWidth;
      setSegmentWidth(c.segmentWidth);
      QList<Option> options;
      for (const InspectorControl::Segment &s : c.segments) {
        double content = 0;
        if (glyph_)
          content = WeightGlyph::size(*glyph_, int(options.size())).width();
        else if (!s.symbol.isEmpty())
          content = Symbols::boxSide(12);
        else
          content = QFontMetricsF(segmentFont()).horizontalAdvance(s.text);
        options.append({s.help, content});
      }
      setOptions(options, [segments = segments_, glyph = glyph_](QPainter &painter, const QRectF &rect, int index, bool,
                                                                 const QColor &color) {
        const InspectorControl::Segment &s = segments[index];
        if (glyph) {
          WeightGlyph::paint(painter, rect, *glyph, index, color);
        } else if (!s.symbol.isEmpty()) {
          Symbols::paint(painter, s.symbol, rect, 12, QFont::Medium, color);
        } else {
          painter.setFont(segmentFont());
          painter.setPen(color);
          painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, s.text);
        }
      });
      for (int i = 0; i < count(); ++i)
        segment(i)->setAccessibleName(c.segments[i].help);
    }
    setIdentifier(c.key.startsWith(QLatin1String("redact")) ? std::nullopt : std::optional<QString>(c.key));
    setSelection(c.selected);
  }

private:
  QList<InspectorControl::Segment> segments_;
  std::optional<WeightGlyph::Kind> glyph_;
  std::optional<double> width_;
};

// A fixed-size widget (the divider) gives no size hint.
QSize hintOf(const QWidget &w) { return w.minimumSize() == w.maximumSize() ? w.minimumSize() : w.sizeHint(); }

// "Select all": 12 medium, 9 of side padding, 28 high.
class TextChromeButton : public ChromeButton {
public:
  using ChromeButton::ChromeButton;
  QSize sizeHint() const override { return {int(std::ceil(QFontMetricsF(font()).horizontalAdvance(text()) + 18)), 28}; }
};

} // namespace

InspectorWidget::InspectorWidget(CrelDocument &document, bool compact, InspectorHooks hooks, QWidget *parent)
    : QWidget(parent), document_(document), compact_(compact), hooks_(std::move(hooks)) {
  setObjectName(compact ? QStringLiteral("inspector-compact") : QStringLiteral("inspector-wide"));
  refreshTimer_.setSingleShot(true);
  refreshTimer_.setInterval(0);
  connect(&refreshTimer_, &QTimer::timeout, this, &InspectorWidget::refresh);
  connect(&document, &CrelDocument::changed, &refreshTimer_, qOverload<>(&QTimer::start));
  refresh();
}

InspectorWidget::~InspectorWidget() = default;

QWidget *InspectorWidget::control(const QString &key) const {
  for (const Slot &slot : slots_)
    if (slot.control.key == key)
      return slot.widget;
  return nullptr;
}

void InspectorWidget::perform(const InspectorAction &action) {
  if (action.kind == InspectorAction::Kind::openCustomInk) {
    (hooks_.colorPanel ? *hooks_.colorPanel : InkColorPanel::shared()).open(document_);
    return;
  }
  InspectorActions::perform(document_, action, hooks_.pasteboard ? *hooks_.pasteboard : Pasteboard::general());
  if (hooks_.focusCanvas)
    hooks_.focusCanvas();
}

void InspectorWidget::refresh() {
  refreshTimer_.stop();
  InspectorDescription next = describeInspector(InspectorInputs::from(document_), compact_);
  if (next == description_ && !slots_.isEmpty())
    return;
  QList<Slot> old = std::move(slots_);
  slots_.clear();
  for (const InspectorControl &c : next.controls) {
    Slot slot;
    bool created = false;
    for (Slot &candidate : old)
      if (candidate.widget && candidate.control.kind == c.kind && candidate.control.key == c.key) {
        slot = std::move(candidate);
        candidate.widget = nullptr;
        break;
      }
    if (!slot.widget) {
      slot.widget = create(c);
      created = true;
    }
    update(slot, c, created);
    slots_.append(std::move(slot));
  }
  for (Slot &gone : old)
    if (gone.widget) {
      // Not deleted at once: the control may be the one whose click led here.
      gone.widget->hide();
      if (hooks_.hints)
        hooks_.hints->detach(gone.widget);
      gone.widget->deleteLater();
    }
  description_ = std::move(next);
  updateGeometry();
  layoutRow();
  Q_EMIT contentChanged();
}

QWidget *InspectorWidget::create(const InspectorControl &c) {
  const auto perform = [this](const InspectorAction &a) { this->perform(a); };
  QWidget *w = nullptr;
  switch (c.kind) {
  case Kind::label: w = new InspectorLabel(this); break;
  case Kind::divider: w = new ChromeDivider(this); break;
  case Kind::inkPalette: w = new InkPaletteRow(perform, this); break;
  case Kind::segmented: {
    auto *s = new InspectorSegmented(this);
    connect(s, &ChromeSegmented::selected, this, [this, s](int index) {
      for (const Slot &slot : std::as_const(slots_))
        if (slot.widget == s && index < slot.control.segmentActions.size())
          this->perform(slot.control.segmentActions[index]);
    });
    w = s;
    break;
  }
  case Kind::valueMenu:
  case Kind::rotationMenu: {
    auto *m = new InspectorMenuButton(perform, this);
    if (c.kind == Kind::rotationMenu && hooks_.hints)
      hooks_.hints->attach(m, QStringLiteral("rotation"), {c.help, c.shortcut, ChromeHint::Edge::top});
    w = m;
    break;
  }
  case Kind::iconButton:
    w = new ChromeIconButton(c.symbol, c.key, {c.help, c.shortcut, ChromeHint::Edge::top}, hooks_.hints, this);
    break;
  case Kind::textButton: {
    auto *b = new TextChromeButton(this);
    b->setFont(segmentFont());
    w = b;
    break;
  }
  case Kind::copyButton: {
    auto *b = new PrimaryActionButton({}, this);
    b->setCompact(true);
    w = b;
    break;
  }
  case Kind::spinner: w = new BusySpinner(this); break;
  }
  if (auto *button = qobject_cast<QAbstractButton *>(w); button && !qobject_cast<InspectorMenuButton *>(w))
    connect(button, &QAbstractButton::clicked, this, [this, button] {
      for (const Slot &slot : std::as_const(slots_))
        if (slot.widget == button)
          this->perform(slot.control.action);
    });
  if (c.kind != Kind::divider && c.kind != Kind::segmented)
    w->setObjectName(c.key);
  w->show();
  return w;
}

void InspectorWidget::update(Slot &slot, const InspectorControl &c, bool created) {
  QWidget *w = slot.widget;
  if (!created && slot.control == c)
    return;
  switch (c.kind) {
  case Kind::label: static_cast<InspectorLabel *>(w)->setContent(c.symbol, c.symbolSize, c.text); break;
  case Kind::divider: break;
  case Kind::inkPalette: static_cast<InkPaletteRow *>(w)->set(c); break;
  case Kind::segmented: static_cast<InspectorSegmented *>(w)->set(c); break;
  case Kind::valueMenu:
  case Kind::rotationMenu: {
    auto *m = static_cast<InspectorMenuButton *>(w);
    if (c.kind == Kind::valueMenu)
      m->setValueFace(c.text);
    else
      m->setSymbolFace(c.symbol, c.symbolSize);
    m->setItems(c.menu);
    m->setAccessibleName(c.accessibility);
    m->setAccessibleDescription(c.kind == Kind::rotationMenu ? c.text : QString());
    if (c.kind == Kind::valueMenu)
      m->setToolTip(c.help);
    break;
  }
  case Kind::iconButton: w->setEnabled(c.enabled); break;
  case Kind::textButton:
  case Kind::copyButton: {
    auto *b = static_cast<QAbstractButton *>(w);
    b->setText(c.text);
    b->setEnabled(c.enabled);
    b->setToolTip(c.help);
    if (auto *copy = qobject_cast<PrimaryActionButton *>(b))
      copy->setTrailingText(c.shortcut.value_or(QString()));
    b->updateGeometry();
    break;
  }
  case Kind::spinner: w->setToolTip(c.help); break;
  }
  slot.control = c;
}

double InspectorWidget::gapBefore(int index) const {
  if (index == 0)
    return 0;
  const Kind kind = slots_[index].control.kind, previous = slots_[index - 1].control.kind;
  // A preset row and its exact menu are one group, 2 apart.
  return kind == Kind::valueMenu && previous == Kind::segmented ? 2 : spacing();
}

QSize InspectorWidget::sizeHint() const {
  double width = 0, height = 0;
  for (int i = 0; i < slots_.size(); ++i) {
    if (!slots_[i].widget)
      continue;
    const QSize hint = hintOf(*slots_[i].widget);
    width += gapBefore(i) + hint.width();
    height = std::max(height, double(hint.height()));
  }
  return {int(std::ceil(width)), int(std::ceil(height))};
}

void InspectorWidget::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  layoutRow();
}

void InspectorWidget::layoutRow() {
  double x = 0;
  for (int i = 0; i < slots_.size(); ++i) {
    QWidget *w = slots_[i].widget;
    if (!w)
      continue;
    const QSize hint = hintOf(*w);
    x += gapBefore(i);
    w->setGeometry(int(std::lround(x)), int(std::lround((height() - hint.height()) / 2.0)), hint.width(),
                   hint.height());
    x += hint.width();
  }
}

} // namespace crel
