#include "EditorController.h"

#include "EditorView.h"
#include "EditorWindow.h"
#include "GlassSurface.h"
#include "KeyMonitor.h"
#include "WindowSizing.h"

#include "canvas/CanvasInteraction.h"
#include "canvas/CanvasView.h"
#include "capture/CaptureSource.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/EditorSizePreferences.h"
#include "platform/Translate.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTimer>

namespace crel {

namespace {

QScreen *screenOf(const QWidget &window) {
  QScreen *screen = window.screen();
  return screen ? screen : QGuiApplication::primaryScreen();
}

} // namespace

EditorController::EditorController(std::unique_ptr<CrelDocument> document, EditorSizePreferences &sizePreferences,
                                   QObject *parent)
    : QObject(parent), document_(std::move(document)), sizePreferences_(sizePreferences) {
  window_ = std::make_unique<EditorWindow>();
  window_->setObjectName(QStringLiteral("editor-window"));
  window_->setMinimumSize(EditorView::minimumContentSize);
  window_->resize(contentSize(sizePreferences_.size()));
  view_ = new EditorView(*document_);
  GlassSurface::installEditor(view_, *window_);
  view_->canvas()->interaction().hooks().windowSizeMenu = [self = QPointer<EditorController>(this)] {
    return self ? self->windowSizeMenu() : nullptr;
  };

  placeOnScreen();
  // Connected after the first size is applied: only later choices resize.
  connect(&sizePreferences_, &EditorSizePreferences::sizeChanged, this, &EditorController::applyWindowSize);

  // The window reads the document once per turn of the event loop.
  stateUpdate_.setSingleShot(true);
  stateUpdate_.setInterval(0);
  connect(&stateUpdate_, &QTimer::timeout, this, &EditorController::updateWindowState);
  connect(document_.get(), &CrelDocument::changed, &stateUpdate_, qOverload<>(&QTimer::start));
  updateWindowState();

  window_->willClose = [self = QPointer<EditorController>(this)] {
    if (self)
      self->windowWillClose();
  };
  keyMonitor_ = std::make_unique<KeyMonitor>(*window_, *document_);
}

std::unique_ptr<EditorController> EditorController::open(const QImage &image, const CaptureSource &source,
                                                         const QString &directory) {
  auto document = std::make_unique<CrelDocument>(image, AnnotationPreferences::shared());
  try {
    document->enableAutosave(directory, source.filenameStem(QDateTime::currentDateTime()));
  } catch (const std::exception &) {
    // The document shows the failure itself and the editor opens unsaved.
  }
  return std::make_unique<EditorController>(std::move(document), EditorSizePreferences::shared());
}

EditorController::~EditorController() {
  keyMonitor_.reset();
  // The window goes before the document it shows.
  window_.reset();
}

bool EditorController::windowIsNormal() const { return window_ && !window_->isMaximized() && !window_->isFullScreen(); }

void EditorController::present() {
  if (!window_)
    return;
  // Only the minimised bit: a maximised window stays maximised.
  window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
  window_->show();
  if (!shownOnce_) {
    shownOnce_ = true;
    // Decorations are known once the window is shown: place it again so the
    // frame, not only the client area, is centred and fits the screen.
    placeOnScreen();
  }
  window_->raise();
  window_->activateWindow();
}

void EditorController::placeOnScreen() {
  if (!windowIsNormal())
    return;
  if (QScreen *screen = screenOf(*window_))
    window_->move(WindowSizing::centredFrame(window_->frameGeometry(), screen->availableGeometry()).topLeft());
  applyWindowSize(sizePreferences_.size());
}

void EditorController::applyWindowSize(EditorSize size) {
  if (!windowIsNormal())
    return;
  const QRect frame = window_->frameGeometry();
  const QSize decorations = frame.size() - window_->geometry().size();
  std::optional<QRect> visible;
  if (QScreen *screen = screenOf(*window_))
    visible = screen->availableGeometry();
  const QRect target = WindowSizing::resizedFrame(frame, decorations, contentSize(size), visible);
  window_->resize(target.size() - decorations);
  window_->move(target.topLeft());
}

std::unique_ptr<QMenu> EditorController::windowSizeMenu() {
  auto menu = std::make_unique<QMenu>();
  menu->addAction(crel::tr("Editor size"))->setEnabled(false);
  const bool normal = windowIsNormal();
  for (EditorSize size : allCases<EditorSize>()) {
    QAction *item = menu->addAction(label(size));
    item->setData(rawValue(size));
    item->setCheckable(true);
    item->setChecked(size == sizePreferences_.size());
    item->setEnabled(normal);
    connect(item, &QAction::triggered, this, [this, item] { chooseWindowSize(*item); });
  }
  if (!normal)
    menu->addAction(crel::tr("Restore the window to change its size"))->setEnabled(false);
  return menu;
}

void EditorController::chooseWindowSize(const QAction &item) {
  if (!windowIsNormal() || item.data().typeId() != QMetaType::QString)
    return;
  const std::optional<EditorSize> size = fromRawValue<EditorSize>(item.data().toString());
  if (!size)
    return;
  if (document_->finishTextEditing)
    document_->finishTextEditing();
  // Every editor's size observer resizes its window, this one's included.
  sizePreferences_.setSize(*size);
  applyWindowSize(*size);
}

void EditorController::updateWindowState() {
  if (!window_)
    return;
  const CrelDocument &d = *document_;
  const std::optional<QString> &saved = d.savedURL();
  window_->setWindowModified(!d.savedMarks() || *d.savedMarks() != d.marks());
  window_->setWindowTitle((saved ? QFileInfo(*saved).fileName() : crel::tr("Unsaved Crel")) + QStringLiteral("[*]"));
  if (window_->windowFilePath() != saved.value_or(QString()))
    window_->setWindowFilePath(saved.value_or(QString()));
}

void EditorController::windowWillClose() {
  keyMonitor_.reset();
  // Reported once the close has finished, so the owner may drop the
  // controller, and the window with it, from its slot.
  QTimer::singleShot(0, [self = QPointer<EditorController>(this)] {
    if (self)
      Q_EMIT self->closed(self);
  });
}

} // namespace crel
