#pragma once

#include "BarGroup.h"

#include <QList>

namespace crel {

class AdaptiveStack;
class ChromeButton;
class ChromeIconButton;
class ChromeSegmented;
class EditorView;
class ShortcutPopover;

// The document's status: the annotation style and the save state in the
// first form that fits (style picker with the detailed save label, picker
// with the save symbol, style menu with the symbol, the symbol alone), or,
// after a failed save, "Couldn’t save" with a button to choose another
// folder; then the keyboard button with its shortcuts popover.
class StatusGroup : public BarGroup {
  Q_OBJECT
public:
  explicit StatusGroup(EditorView &view);
  void refresh(const CrelDocument &document) override;

  AdaptiveStack *candidates() const { return stack_; }
  bool showsShortcuts() const { return showShortcuts_; }
  void toggleShortcuts();
  ShortcutPopover *popover() const { return popover_; }

protected:
  void resizeEvent(QResizeEvent *event) override;

private:
  void chooseStyle(int index);
  void layoutContent();
  QList<QWidget *> row() const;

  EditorView &view_;
  AdaptiveStack *stack_;
  QList<ChromeSegmented *> pickers_;
  QList<ChromeButton *> menus_;
  QList<QWidget *> saveLabels_;
  QWidget *errorLabel_;
  ChromeButton *chooseFolder_;
  ChromeIconButton *keyboard_;
  ShortcutPopover *popover_ = nullptr;
  bool showShortcuts_ = false;
  bool error_ = false;
};

} // namespace crel
