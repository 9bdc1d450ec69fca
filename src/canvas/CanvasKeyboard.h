#pragma once

#include <QKeyEvent>

#include <optional>

namespace crel {

class CanvasInteraction;

// The canvas's own keys: Space pans, Escape cancels, the brackets change the
// width (or the blur strength), Delete removes, Alt+Left/Right rotate, the
// arrows nudge, and a letter chooses a tool. Keys the canvas does not use go
// on to its parents. Modifier mapping: Ctrl for Command, Alt for Option.
class CanvasKeyboard {
public:
  enum class Action { pan, cancel, changeWidth, remove, rotate, nudge, chooseTool };

  explicit CanvasKeyboard(CanvasInteraction &interaction);

  // What a press of the key would do now; none for keys the canvas passes on.
  // A shortcut of the window must not take a key the canvas would use.
  std::optional<Action> action(const QKeyEvent &event) const;
  // Both return whether the canvas used the key.
  bool keyPress(const QKeyEvent &event);
  bool keyRelease(const QKeyEvent &event);

  static constexpr double widthStep = 2;
  static constexpr double minWidth = 1;
  static constexpr double maxWidth = 96;

private:
  CanvasInteraction &interaction_;
};

} // namespace crel
