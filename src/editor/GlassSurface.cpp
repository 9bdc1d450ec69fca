#include "GlassSurface.h"

#include "EditorView.h"
#include "GlassContainer.h"

#include "canvas/EditorStageView.h"
#include "chrome/AccessibilityOptions.h"
#include "chrome/LightPalette.h"
#include "platform/desktop/AppTheme.h"

#include <QApplication>
#include <QPalette>
#include <QPointer>
#include <QScrollArea>
#include <QStyle>
#include <QStyleFactory>
#include <QVBoxLayout>

namespace crel::GlassSurface {

namespace {

bool preview = false;

// The light look every window keeps, whatever the desktop's theme, drawn by
// Fusion, which uses the palette as given; the editor's window has the stage
// colour behind everything.
void applyLightAppearance(QWidget &window, bool stage) {
  static QPointer<QStyle> fusion;
  if (!fusion && (fusion = QStyleFactory::create(QStringLiteral("Fusion"))))
    fusion->setParent(qApp);
  if (fusion)
    window.setStyle(fusion);
  LightPalette::apply(&window);
  if (stage) {
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, AppTheme::stage());
    window.setPalette(palette);
  }
}

// A scroll area fills its viewport and its widget with the window colour;
// over the glass they stay clear, so the backdrop is what shows.
void seeThrough(QWidget *view) {
  auto *scroll = qobject_cast<QAbstractScrollArea *>(view);
  if (!scroll)
    return;
  scroll->viewport()->setAutoFillBackground(false);
  if (auto *area = qobject_cast<QScrollArea *>(scroll); area && area->widget())
    area->widget()->setAutoFillBackground(false);
}

void fill(QWidget &window, QWidget *content) {
  auto *layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(content);
}

} // namespace

bool previewRendering() { return preview; }
void setPreviewRendering(bool on) { preview = on; }

void installEditor(EditorView *view, QWidget &window) {
  applyLightAppearance(window, true);
  fill(window, new EditorStageView(view));
}

GlassContainer *install(QWidget *view, QWidget &window) {
  applyLightAppearance(window, false);
  seeThrough(view);
  auto *container = new GlassContainer(view, &AccessibilityOptions::shared());
  fill(window, container);
  setContentSize(container->sizeHint(), window);
  return container;
}

void setContentSize(QSize size, QWidget &window) { window.resize(size); }

} // namespace crel::GlassSurface
