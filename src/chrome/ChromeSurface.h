#pragma once

#include "ShadowCaster.h"
#include "SurfaceVariant.h"

#include <QPointer>
#include <QWidget>

#include <optional>

namespace crel {

class AccessibilityOptions;

// The pane under a floating bar or readout: a capsule (no corner radius) or a
// rounded rectangle over the whole widget. Callers put their controls in it
// (and pad them: the editor's bars pad by 4). The variant follows Reduce
// Transparency live and the preview-rendering flag its owner sets. Its
// shadow reaches past the widget, so what lies under it paints it (see
// ShadowCaster); it paints its own children's shadows (an action button's).
// Hairlines are painted under the children: they lie on the outline, where
// controls never draw.
class ChromeSurface : public QWidget, public ShadowCaster {
  Q_OBJECT
public:
  explicit ChromeSurface(std::optional<double> cornerRadius = std::nullopt, QWidget *parent = nullptr,
                         AccessibilityOptions *options = nullptr);

  std::optional<double> cornerRadius() const { return cornerRadius_; }
  void setPreviewRendering(bool preview);
  bool previewRendering() const { return preview_; }

  SurfaceVariant variant() const;
  SurfaceLook look() const;
  std::optional<Cast> castShadow() const override;

protected:
  void paintEvent(QPaintEvent *event) override;
  void moveEvent(QMoveEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  void refresh();

  std::optional<double> cornerRadius_;
  QPointer<AccessibilityOptions> options_;
  bool preview_ = false;
};

} // namespace crel
