#include "GlassSurface.h"

#include "EditorView.h"
#include "GlassContainer.h"

#include "canvas/EditorStageView.h"
#include "platform/AppTheme.h"

#include <QApplication>
#include <QPalette>
#include <QPointer>
#include <QStyle>
#include <QStyleFactory>
#include <QVBoxLayout>

namespace crel::GlassSurface {

namespace {

bool preview = false;

// The light look every window keeps, whatever the desktop's theme: Fusion's
// light palette tinted with the brand colour, and the editor's window the
// stage colour behind everything. (The chrome kit's palette takes this place
// once it exists.)
void applyLightAppearance(QWidget &window, bool stage) {
  static QPointer<QStyle> fusion;
  if (!fusion && (fusion = QStyleFactory::create(QStringLiteral("Fusion"))))
    fusion->setParent(qApp);
  if (fusion) {
    window.setStyle(fusion);
    QPalette palette = fusion->standardPalette();
    palette.setColor(QPalette::Highlight, AppTheme::primary());
    if (stage)
      palette.setColor(QPalette::Window, AppTheme::stage());
    window.setPalette(palette);
  }
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
  // The backdrop follows Reduce Transparency once the chrome kit reports it.
  auto *container = new GlassContainer(view);
  fill(window, container);
  setContentSize(container->sizeHint(), window);
  return container;
}

void setContentSize(QSize size, QWidget &window) { window.resize(size); }

} // namespace crel::GlassSurface
