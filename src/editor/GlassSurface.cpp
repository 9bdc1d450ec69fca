#include "GlassSurface.h"

#include "EditorView.h"

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
// light palette tinted with the brand colour. (The chrome kit's palette takes
// this place once it exists.)
void applyLightAppearance(QWidget &window) {
  static QPointer<QStyle> fusion;
  if (!fusion && (fusion = QStyleFactory::create(QStringLiteral("Fusion"))))
    fusion->setParent(qApp);
  if (fusion) {
    window.setStyle(fusion);
    QPalette palette = fusion->standardPalette();
    palette.setColor(QPalette::Highlight, AppTheme::primary());
    palette.setColor(QPalette::Window, AppTheme::stage());
    window.setPalette(palette);
  }
}

} // namespace

bool previewRendering() { return preview; }
void setPreviewRendering(bool on) { preview = on; }

void installEditor(EditorView *view, QWidget &window) {
  applyLightAppearance(window);
  auto *stage = new EditorStageView(view, &window);
  auto *layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(stage);
}

void setContentSize(QSize size, QWidget &window) { window.resize(size); }

} // namespace crel::GlassSurface
