#pragma once

#include "InspectorDescription.h"

#include "chrome/ChromeButton.h"

#include <QTimer>
#include <QWidget>

#include <functional>

class QMenu;

namespace crel {

// The inspector's pull-down: a chrome button (radius 8) that opens its menu
// below itself. Its face is a value with a small chevron (12 semibold and 8
// bold, 7 of padding, 28 high) or a symbol in a 30 by 30 frame. Items are
// not checkable; headings are menu sections.
class InspectorMenuButton : public ChromeButton {
  Q_OBJECT
public:
  using Perform = std::function<void(const InspectorAction &)>;
  InspectorMenuButton(Perform perform, QWidget *parent = nullptr);

  // Rebuilds the menu only when the items changed, so an open menu stays.
  void setItems(const QList<InspectorControl::MenuItem> &items);
  void setValueFace(const QString &value);
  void setSymbolFace(const QString &symbol, double size);
  QMenu *menu() const { return menu_; }
  QSize sizeHint() const override;

private:
  void popup();

  Perform perform_;
  QMenu *menu_;
  QList<InspectorControl::MenuItem> items_;
  QString value_, symbol_;
  double symbolSize_ = 14;
};

// A small indeterminate progress ring. It turns only while motion is on, so
// previews and tests draw one still frame.
class BusySpinner : public QWidget {
  Q_OBJECT
public:
  explicit BusySpinner(QWidget *parent = nullptr);
  QSize sizeHint() const override { return {24, 16}; }

protected:
  void paintEvent(QPaintEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void hideEvent(QHideEvent *event) override;

private:
  QTimer turn_;
  int phase_ = 0;
};

// A one-line secondary label with an optional leading symbol: the select
// hint, the notes and the extract summary.
class InspectorLabel : public QWidget {
  Q_OBJECT
public:
  explicit InspectorLabel(QWidget *parent = nullptr);
  void setContent(const QString &symbol, double symbolSize, const QString &text);
  QString text() const { return text_; }
  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  QString symbol_, text_;
  double symbolSize_ = 13;
};

} // namespace crel
