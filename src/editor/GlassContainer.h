#pragma once

#include <QPointer>
#include <QWidget>

namespace crel {

class AccessibilityOptions;

// The backdrop of the application's windows other than the editor, with the
// interface laid over it. It has two forms: the material (a soft, lightly
// shaded pane; X11 has no live blur behind windows, so it is painted) and,
// when the user asks to reduce transparency, the plain window colour. A
// change of that setting replaces the backdrop and keeps the interface.
class GlassContainer : public QWidget {
  Q_OBJECT
public:
  enum class Backdrop { material, plain };

  // Takes `content` as its child, over the backdrop. With `options` the form
  // follows their Reduce Transparency setting live.
  explicit GlassContainer(QWidget *content, bool reduceTransparency = false, QWidget *parent = nullptr);
  GlassContainer(QWidget *content, AccessibilityOptions *options, QWidget *parent = nullptr);

  QWidget *content() const { return content_; }
  // The widget behind the content now; a new one after each change of form.
  QWidget *backdrop() const { return backdrop_; }
  Backdrop backdropForm() const { return form_; }

  void setReduceTransparency(bool on);

  QSize sizeHint() const override;

protected:
  void resizeEvent(QResizeEvent *event) override;

private:
  void rebuild(Backdrop form);

  QPointer<QWidget> content_;
  QPointer<QWidget> backdrop_;
  Backdrop form_ = Backdrop::material;
};

} // namespace crel
