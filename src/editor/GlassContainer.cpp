#include "GlassContainer.h"

#include "chrome/AccessibilityOptions.h"

#include <QLinearGradient>
#include <QPainter>

namespace crel {

namespace {

// The under-window material, painted: the window colour, a shade lighter at
// the top, as a desktop's frosted panes read on a light background.
class MaterialBackdrop : public QWidget {
public:
  using QWidget::QWidget;

protected:
  void paintEvent(QPaintEvent *) override {
    QPainter painter(this);
    const QColor base = palette().color(QPalette::Window);
    QLinearGradient shade(0, 0, 0, height());
    shade.setColorAt(0, base.lighter(104));
    shade.setColorAt(1, base);
    painter.fillRect(rect(), shade);
  }
};

// The plain window colour, whatever the palette says it is now.
class PlainBackdrop : public QWidget {
public:
  explicit PlainBackdrop(QWidget *parent) : QWidget(parent) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
  }
};

} // namespace

GlassContainer::GlassContainer(QWidget *content, bool reduceTransparency, QWidget *parent)
    : QWidget(parent), content_(content) {
  if (content)
    content->setParent(this);
  rebuild(reduceTransparency ? Backdrop::plain : Backdrop::material);
}

GlassContainer::GlassContainer(QWidget *content, AccessibilityOptions *options, QWidget *parent)
    : GlassContainer(content, options && options->reduceTransparency(), parent) {
  if (options)
    connect(options, &AccessibilityOptions::changed, this,
            [this, options] { setReduceTransparency(options->reduceTransparency()); });
}

void GlassContainer::setReduceTransparency(bool on) {
  const Backdrop form = on ? Backdrop::plain : Backdrop::material;
  if (form != form_)
    rebuild(form);
}

void GlassContainer::rebuild(Backdrop form) {
  delete backdrop_;
  form_ = form;
  backdrop_ = form == Backdrop::plain ? static_cast<QWidget *>(new PlainBackdrop(this)) : new MaterialBackdrop(this);
  backdrop_->setGeometry(rect());
  backdrop_->lower();
  backdrop_->show();
}

// The content's fitting size: what it asks for, within the size it is framed to.
QSize GlassContainer::sizeHint() const {
  if (!content_)
    return QWidget::sizeHint();
  return content_->sizeHint().expandedTo(content_->minimumSize()).boundedTo(content_->maximumSize());
}

void GlassContainer::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  backdrop_->setGeometry(rect());
  if (content_)
    content_->setGeometry(rect());
}

} // namespace crel
