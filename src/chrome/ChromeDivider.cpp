#include "ChromeDivider.h"

#include "ChromeColors.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

namespace crel {

namespace {

class HiddenSeparator : public QAccessibleWidget {
public:
  explicit HiddenSeparator(QWidget *w) : QAccessibleWidget(w, QAccessible::Separator) {}
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.invisible = true;
    s.focusable = false;
    return s;
  }
};

QAccessibleInterface *dividerAccessible(const QString &className, QObject *object) {
  if (className == QLatin1String("crel::ChromeDivider") && object && object->isWidgetType())
    return new HiddenSeparator(static_cast<QWidget *>(object));
  return nullptr;
}

} // namespace

ChromeDivider::ChromeDivider(QWidget *parent) : QWidget(parent) {
  static const bool installed = [] {
    QAccessible::installFactory(dividerAccessible);
    return true;
  }();
  Q_UNUSED(installed);
  setFixedSize(1 + 2 * sideSpace, ruleHeight);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

void ChromeDivider::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.fillRect(QRectF(sideSpace, (height() - ruleHeight) / 2.0, 1, ruleHeight), ChromeColors::black(0.1));
}

} // namespace crel
