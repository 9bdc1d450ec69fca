#pragma once

#include "BarGroup.h"

#include "document/MarkTool.h"

#include <QList>
#include <QVariantAnimation>

#include <array>
#include <optional>

namespace crel {

class ChromeButton;
class EditorView;

// One button per tool in five groups parted by dividers. The current tool's
// button has a highlight that slides from button to button with a damped
// spring when the tool changes. It follows the document's tool, not the tool
// of a selected mark.
class ToolboxGroup : public BarGroup {
  Q_OBJECT
public:
  static const std::array<QList<MarkTool>, 5> &toolGroups();

  explicit ToolboxGroup(EditorView &view);
  void refresh(const CrelDocument &document) override;

  ChromeButton *button(MarkTool tool) const;
  // Where the highlight is drawn now (mid-slide while animating).
  std::optional<QRectF> highlightRect() const;

protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  void moveHighlight(bool animated);

  QList<QWidget *> row_;
  QList<ChromeButton *> buttons_; // in MarkTool order
  std::optional<MarkTool> shown_;
  QVariantAnimation slide_;
};

} // namespace crel
