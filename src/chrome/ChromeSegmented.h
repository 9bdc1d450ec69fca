#pragma once

#include "AnimatedValue.h"
#include "PlainPressButton.h"

#include <QList>
#include <QWidget>

#include <functional>
#include <optional>

namespace crel {

// The chrome's segmented control: a grey rounded track (radius 9, black at
// 0.06, 2 of padding and 2 between segments) with one 24-high segment per
// option and a white thumb behind the selected one that slides when the
// selection changes. It holds no model: the caller passes the selection in
// and hears every pick through selected() (also a pick of the segment that
// is already selected) and decides what changes.
//
// Each segment is a button of its own, so with keyboard focus on (FocusRing)
// Tab reaches every segment and Space or Return picks it.
//
// Options are indices; each has a help text (tooltip, and accessible name
// unless the option names itself) and a content width. The label painter draws a segment's content in the
// colour it is given: the label colour when selected, else the secondary one.
class ChromeSegmented : public QWidget {
  Q_OBJECT
public:
  struct Option {
    QString help;
    double contentWidth = 0; // the label's own width, without padding
    QString name;            // the accessible name; the help when empty
  };
  using LabelPainter =
      std::function<void(QPainter &painter, const QRectF &rect, int index, bool selected, const QColor &color)>;

  explicit ChromeSegmented(QWidget *parent = nullptr);

  // Text options: the texts are the labels, drawn in `font`, and the
  // segments' accessible names.
  static QList<Option> textOptions(const QStringList &texts, const QStringList &helps, const QFont &font);
  static LabelPainter textPainter(const QStringList &texts, const QFont &font);

  void setOptions(const QList<Option> &options, LabelPainter painter);
  int count() const { return int(options_.size()); }
  // A selection outside the options counts as none.
  void setSelection(std::optional<int> index);
  std::optional<int> selection() const { return selection_; }
  // Every segment exactly this wide, without padding; nothing: label + 20.
  void setSegmentWidth(std::optional<double> width);
  // The control's accessible identifier (its object name); empty when none.
  void setIdentifier(const std::optional<QString> &identifier);

  static constexpr double segmentHeight = 24, inset = 2, spacing = 2;
  QRectF segmentRect(int index) const;
  // Where the thumb is drawn now (mid-slide while animating).
  std::optional<QRectF> thumbRect() const;
  QAbstractButton *segment(int index) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

Q_SIGNALS:
  void selected(int index);

protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  class Segment;
  double segmentWidth(int index) const;
  void rebuild();
  void layoutSegments();

  QList<Option> options_;
  LabelPainter painter_;
  std::optional<int> selection_;
  std::optional<double> fixedWidth_;
  QList<Segment *> segments_;
  AnimatedValue slide_{1};
  std::optional<QRectF> slideFrom_;
};

} // namespace crel
