#include "ActionsGroup.h"

#include "BarModel.h"
#include "DragHandle.h"
#include "EditorView.h"

#include "chrome/ChromeColors.h"
#include "chrome/ChromeFonts.h"
#include "chrome/ChromeIconButton.h"
#include "chrome/HintController.h"
#include "chrome/PrimaryActionButton.h"
#include "chrome/ShortcutText.h"
#include "chrome/Symbols.h"
#include "document/CrelDocument.h"
#include "platform/base/Translate.h"

#include <QPainter>

#include <cmath>

namespace crel {

namespace {

// The primary capsule with a copy symbol, the text and, when it has one, the
// shortcut in a lighter, smaller face.
class CopyButton : public PrimaryActionButton {
public:
  explicit CopyButton(QWidget *parent) : PrimaryActionButton(QString(), parent) {}

  // Whether the label changed.
  bool setLabel(const BarModel::CopyLabel &label) {
    if (label == label_)
      return false;
    label_ = label;
    setText(label.text);
    updateGeometry();
    update();
    return true;
  }

  QSize sizeHint() const override {
    return {int(std::ceil(contentWidth() + 2 * metrics().padding)), int(metrics().height)};
  }

protected:
  void paintLabel(QPainter &painter, const QRectF &rect) const override {
    double x = rect.left() + (rect.width() - contentWidth()) / 2;
    const double mid = rect.center().y();
    Symbols::paint(painter, QStringLiteral("doc.on.doc"), QRectF(x, mid - iconSide / 2, iconSide, iconSide), 12,
                   QFont::DemiBold, Qt::white);
    x += iconSide + gap;
    painter.setFont(font());
    painter.setPen(Qt::white);
    const double textWidth = QFontMetricsF(font()).horizontalAdvance(label_.text);
    painter.drawText(QRectF(x, rect.top(), textWidth + 1, rect.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     label_.text);
    if (label_.shortcut) {
      x += textWidth + gap;
      painter.setFont(shortcutFont());
      painter.setPen(ChromeColors::white(0.7));
      painter.drawText(QRectF(x, rect.top(), rect.right() - x, rect.height()), Qt::AlignLeft | Qt::AlignVCenter,
                       *label_.shortcut);
    }
  }

private:
  static constexpr double gap = 7;
  static QFont shortcutFont() { return ChromeFonts::font(11, QFont::Medium); }
  double iconSide = 13;

  double contentWidth() const {
    double w = iconSide + gap + QFontMetricsF(font()).horizontalAdvance(label_.text);
    if (label_.shortcut)
      w += gap + QFontMetricsF(shortcutFont()).horizontalAdvance(*label_.shortcut);
    return w;
  }

  BarModel::CopyLabel label_;
};

} // namespace

ActionsGroup::ActionsGroup(EditorView &view)
    : BarGroup(QStringLiteral("group-actions"), QString(), {210}, &view), hints_(view.hints()) {
  drag_ = new DragHandle(view.document(), this);
  hints_.attach(drag_, QStringLiteral("drag"), ChromeHint{crel::tr("Drag into any app"), {}, ChromeHint::Edge::bottom});
  reveal_ = new ChromeIconButton(QStringLiteral("folder"), QStringLiteral("reveal"),
                                 ChromeHint{crel::tr("Show in File Manager"),
                                            ShortcutText::forLinux(QStringLiteral("\u21E7\u2318F")),
                                            ChromeHint::Edge::bottom},
                                 &hints_, this);
  reveal_->setObjectName(QStringLiteral("reveal-image"));
  connect(reveal_, &QAbstractButton::clicked, this, [&view] {
    if (view.actions().reveal)
      view.actions().reveal();
  });
  copy_ = new CopyButton(this);
  copy_->setObjectName(QStringLiteral("copy-image"));
  copy_->setAccessibleName(crel::tr("Copy image and close"));
  // Copying closes the window: the focus is not handed back to the canvas.
  connect(copy_, &QAbstractButton::clicked, this, [&view] {
    if (view.actions().copy)
      view.actions().copy();
  });
  refresh(view.document());
}

void ActionsGroup::refresh(const CrelDocument &document) {
  reveal_->setEnabled(document.savedURL().has_value());
  const BarModel::CopyLabel label = BarModel::copyLabel(document.tool());
  if (static_cast<CopyButton *>(copy_)->setLabel(label))
    hints_.attach(copy_, QStringLiteral("copy"), ChromeHint{label.hintTitle, label.shortcut, ChromeHint::Edge::bottom});
  setCandidateWidths({rowWidth({drag_, reveal_, copy_}, 4)});
  placeRow({drag_, reveal_, copy_}, 4);
}

void ActionsGroup::resizeEvent(QResizeEvent *event) {
  BarGroup::resizeEvent(event);
  placeRow({drag_, reveal_, copy_}, 4);
}

} // namespace crel
