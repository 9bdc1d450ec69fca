#pragma once

#include "InspectorDescription.h"

#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace crel {

class CrelDocument;
class HintController;
class InkColorPanel;
class Pasteboard;

// What an inspector needs from the window around it; each may be empty.
struct InspectorHooks {
  // Hands the keyboard back to the canvas after a control was used.
  std::function<void()> focusCanvas;
  HintController *hints = nullptr;
  // The custom ink panel; empty: the process's shared panel.
  InkColorPanel *colorPanel = nullptr;
  // Where "Copy text" writes; empty: the general pasteboard.
  Pasteboard *pasteboard = nullptr;
};

// One form (wide or compact) of the inspector: a row of controls that
// follows describeInspector() for the document. A refresh reconciles the row
// to the new description: a control whose kind and key are still there keeps
// its widget and is updated in place (hover, an open menu and hints survive),
// new ones are created and gone ones removed.
class InspectorWidget : public QWidget {
  Q_OBJECT
public:
  InspectorWidget(CrelDocument &document, bool compact, InspectorHooks hooks, QWidget *parent = nullptr);
  ~InspectorWidget() override;

  bool isCompact() const { return compact_; }
  const InspectorDescription &description() const { return description_; }
  // The widget showing the control with `key`, if any.
  QWidget *control(const QString &key) const;
  // Runs a control's action, then hands the focus back (not for the custom ink).
  void perform(const InspectorAction &action);
  // Describes the document now and reconciles (document changes do this on
  // the next turn of the event loop).
  void refresh();

  // Controls are this far apart: 4 wide, 2 compact; a menu sits 2 after its presets.
  double spacing() const { return compact_ ? 2 : 4; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

Q_SIGNALS:
  void contentChanged();

protected:
  void resizeEvent(QResizeEvent *event) override;

private:
  struct Slot {
    InspectorControl control;
    QPointer<QWidget> widget;
  };
  QWidget *create(const InspectorControl &control);
  void update(Slot &slot, const InspectorControl &control, bool created);
  void layoutRow();
  double gapBefore(int index) const;

  CrelDocument &document_;
  const bool compact_;
  InspectorHooks hooks_;
  InspectorDescription description_;
  QList<Slot> slots_;
  QTimer refreshTimer_;
};

} // namespace crel
