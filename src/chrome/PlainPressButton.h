#pragma once

#include <QAbstractButton>

#include <functional>

namespace crel {

// A custom-drawn control (an ink swatch, a segment) that needs only press
// feedback: its content at 0.7 opacity while the button is down, no
// background, no hover. Subclasses paint in paintContent(); plain instances
// draw through the content painter, or their text.
class PlainPressButton : public QAbstractButton {
  Q_OBJECT
public:
  using ContentPainter = std::function<void(QPainter &painter, const QRectF &rect)>;

  explicit PlainPressButton(QWidget *parent = nullptr);
  void setContentPainter(ContentPainter painter);

  static constexpr double pressedOpacity = 0.7;

protected:
  void paintEvent(QPaintEvent *event) override;
  virtual void paintContent(QPainter &painter);

private:
  ContentPainter content_;
};

} // namespace crel
