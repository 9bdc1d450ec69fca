#include "EditorController.h"

#include "DragHandle.h"
#include "EditorView.h"
#include "EditorWindow.h"
#include "GlassSurface.h"
#include "InkColorPanel.h"
#include "KeyMonitor.h"
#include "Sheets.h"
#include "WindowSizing.h"

#include "canvas/CanvasInteraction.h"
#include "canvas/CanvasView.h"
#include "capture/CaptureSource.h"
#include "capture/WidgetWindow.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "document/CrelStorage.h"
#include "document/EditorSizePreferences.h"
#include "platform/base/FreedMemory.h"
#include "platform/base/Translate.h"
#include "platform/clipboard/Pasteboard.h"
#include "platform/desktop/FileRevealer.h"
#include "platform/files/AppIdentity.h"

#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace crel {

namespace {

QScreen *screenOf(const QWidget &window) {
  QScreen *screen = window.screen();
  return screen ? screen : QGuiApplication::primaryScreen();
}

// A completion that runs exactly once: the first answer wins, and when
// `owner` is destroyed before any answer (its window, and the dialog that
// would have answered, go with it) the answer is false, so nobody waits on
// it forever.
std::function<void(bool)> answerOnce(QObject *owner, std::function<void(bool)> completion) {
  struct State {
    std::function<void(bool)> completion;
    QMetaObject::Connection guard;
  };
  auto state = std::make_shared<State>();
  state->completion = std::move(completion);
  const auto answer = [state](bool value) {
    QObject::disconnect(state->guard);
    if (auto completion = std::exchange(state->completion, {}))
      completion(value);
  };
  state->guard = QObject::connect(owner, &QObject::destroyed, [answer] { answer(false); });
  return answer;
}

QString describe(const std::exception_ptr &error) {
  return CrelError::describe(error, crel::tr("The operation could not be completed."));
}

} // namespace

EditorController::EditorController(std::unique_ptr<CrelDocument> document, EditorSizePreferences &sizePreferences,
                                   QObject *parent)
    : QObject(parent), document_(std::move(document)), sizePreferences_(sizePreferences) {
  FreedMemory::hold();
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
  window_->shouldClose = [self = QPointer<EditorController>(this)] { return !self || self->windowShouldClose(); };
  const auto action = [self = QPointer<EditorController>(this)](void (EditorController::*method)()) {
    return [self, method] {
      if (self)
        (self->*method)();
    };
  };
  view_->setActions({[self = QPointer<EditorController>(this)] {
                       if (self)
                         self->chooseFolder();
                     },
                     action(&EditorController::copyImage), action(&EditorController::reveal)});
  keyMonitor_ = std::make_unique<KeyMonitor>(*window_, *document_);
  view_->canvas()->installEventFilter(this);
  window_->installEventFilter(this);

  backgroundCache_.setSingleShot(true);
  backgroundCache_.setInterval(backgroundCacheMs);
  connect(&backgroundCache_, &QTimer::timeout, this, &EditorController::releaseCacheInBackground);
  // No focus at all means another program is in front: the editor last in
  // front stays the one the user comes back to.
  connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow *focus) {
    if (!focus)
      return;
    const bool wasInFront = std::exchange(lastInFront_, owns(focus));
    if (lastInFront_)
      backgroundCache_.stop();
    else if (wasInFront)
      backgroundCache_.start();
  });
}

bool EditorController::owns(const QWindow *window) const {
  for (; window && window_; window = window->transientParent())
    if (window == window_->windowHandle())
      return true;
  return false;
}

void EditorController::releaseCacheInBackground() {
  if (!window_ || !view_)
    return;
  if (lastInFront_ && window_->isVisible() && !window_->isMinimized())
    return;
  // The cache's pages go back to the system only with the heap trimmed.
  if (view_->canvas()->releaseCache())
    FreedMemory::giveBack();
}

std::unique_ptr<EditorController> EditorController::open(const QImage &image, const CaptureSource &source,
                                                         const QString &directory) {
  auto document = std::make_unique<CrelDocument>(image, AnnotationPreferences::shared());
  document->prepareAutosave(directory, source.filenameStem(QDateTime::currentDateTime()));
  auto controller = std::make_unique<EditorController>(std::move(document), EditorSizePreferences::shared());
  controller->saveAfterFirstFrame();
  if (auto *handle = controller->view_->findChild<DragHandle *>()) {
    handle->setThumbnailHeld(true);
    connect(controller.get(), &EditorController::firstFrameShown, handle,
            [handle] { handle->setThumbnailHeld(false); });
  }
  return controller;
}

void EditorController::saveAfterFirstFrame() {
  // The user sees the capture first; the write (flatten, encode, sync) comes
  // on the turn of the loop after the frame is on screen, and without a frame
  // (a hidden or minimised window) soon anyway: a capture is on disk well
  // within half a second, even if the process dies right after.
  firstSave_.setSingleShot(true);
  connect(&firstSave_, &QTimer::timeout, this, [this] {
    try {
      document_->flushAutosave();
    } catch (const std::exception &) {
      // The document shows the failure itself and the editor stays unsaved.
    }
  });
  firstSave_.start(firstSaveWithoutFrameMs);
}

EditorController::~EditorController() {
  keyMonitor_.reset();
  // The window goes before the document it shows.
  window_.reset();
  document_.reset();
  // The screenshot, its flattened copies and encodings are freed now; once
  // nothing else holds on (a capture a moment ago), the heap gives their
  // pages back rather than keep them for a reuse that may never come.
  FreedMemory::release();
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
    // Decorations may be known once the window is shown: place it again so
    // the frame, not only the client area, is centred and fits the screen.
    placeOnScreen();
    // An X11 window manager decorates the window a little later: place it
    // once more when the frame arrives.
    if (window_->frameGeometry().size() == window_->geometry().size()) {
      awaitingFrame_ = true;
      QTimer::singleShot(frameWaitMs, this, [this] { awaitingFrame_ = false; });
    }
  }
  window_->raise();
  WidgetWindow::activate(*window_);
}

void EditorController::presentAt(const QRect &clientArea) {
  // Placed before it is first shown, so the window manager maps it there
  // (a program-given position) and nothing centres it afterwards.
  if (window_ && !shownOnce_) {
    shownOnce_ = true;
    window_->setGeometry(clientArea);
  }
  present();
}

void EditorController::placeOnScreen() {
  if (!windowIsNormal())
    return;
  if (QScreen *screen = screenOf(*window_))
    window_->move(WindowSizing::centredFrame(window_->frameGeometry(), screen->availableGeometry()).topLeft());
  applyWindowSize(sizePreferences_.size());
}

namespace {
// The decorations the window manager gave the last editor window.
QSize lastDecorations;
} // namespace

QSize EditorController::decorations() const {
  const QSize own = window_->frameGeometry().size() - window_->geometry().size();
  if (own.isEmpty())
    return lastDecorations;
  lastDecorations = own;
  return own;
}

bool EditorController::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::Paint && view_ && watched == view_->canvas()) {
    // The first paint begins: zero timers run once the frame is flushed,
    // telling that it is out and starting the first save.
    if (!painted_) {
      painted_ = true;
      QTimer::singleShot(0, this, &EditorController::firstFrameShown);
      if (firstSave_.isActive())
        firstSave_.start(0);
    }
    // A paint in the background builds the cache again.
    if (!lastInFront_ && !backgroundCache_.isActive())
      backgroundCache_.start();
  }
  if (event->type() == QEvent::Hide && watched == window_.get())
    backgroundCache_.start();
  if (awaitingFrame_ && watched == window_.get() &&
      (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
      window_->frameGeometry().size() != window_->geometry().size()) {
    awaitingFrame_ = false;
    QTimer::singleShot(0, this, &EditorController::placeOnScreen);
  }
  return QObject::eventFilter(watched, event);
}

void EditorController::applyWindowSize(EditorSize size) {
  if (!windowIsNormal())
    return;
  const QSize decorations = this->decorations();
  // Not yet decorated: the frame the window manager is about to add, its
  // top left corner where the window is placed.
  const QRect client = window_->geometry();
  const QRect frame = window_->frameGeometry().size() == client.size()
                          ? QRect(client.topLeft(), client.size() + decorations)
                          : window_->frameGeometry();
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

bool EditorController::cleanlySaved(const CrelDocument &document) {
  return !document.isDirty() && !document.autosaveError();
}

void EditorController::copyImage() {
  Pasteboard &pasteboard = Pasteboard::general();
  try {
    document_->copy(pasteboard);
  } catch (...) {
    showError(describe(std::current_exception()));
    return;
  }
  // The copy has succeeded only once other programs can paste it.
  pasteboard.whenPlaced(this, [this](bool placed) {
    if (!placed) {
      showError(describe(std::make_exception_ptr(CrelError::clipboard())));
      return;
    }
    if (window_) {
      closedByCopy_ = true;
      window_->close();
      if (window_ && window_->isVisible())
        closedByCopy_ = false;
    }
    Q_EMIT copied();
  });
}

void EditorController::reveal() {
  if (document_->finishTextEditing)
    document_->finishTextEditing();
  try {
    document_->flushAutosave();
  } catch (...) {
    showError(describe(std::current_exception()));
    return;
  }
  const std::optional<QString> &saved = document_->savedURL();
  if (!saved)
    return;
  if (!QFileInfo(*saved).isFile()) {
    showError(crel::tr("The saved file has been moved or deleted. Save the image again to show it in its folder."));
    return;
  }
  const QString folder = QDir::toNativeSeparators(QFileInfo(*saved).absolutePath());
  (revealer_ ? *revealer_ : FileRevealer::system()).reveal(*saved, [self = QPointer(this), folder] {
    if (self)
      self->showError(crel::tr("Could not open %1 in the file manager.").arg(folder));
  });
}

void EditorController::showError(const QString &message) {
  document_->setStatus(message);
  if (!window_)
    return;
  auto *alert = new QMessageBox(QMessageBox::Warning, AppIdentity::name(), message, QMessageBox::Ok, window_.get());
  alert->setObjectName(QStringLiteral("error-alert"));
  alert->setWindowModality(Qt::WindowModal);
  connect(alert, &QDialog::finished, alert, &QObject::deleteLater);
  alert->open();
}

void EditorController::chooseFolder(std::function<void(bool)> completion) {
  const auto answer = answerOnce(this, std::move(completion));
  if (!window_ || Sheets::attached(window_.get())) {
    answer(false);
    return;
  }
  auto *dialog = new QFileDialog(window_.get());
  dialog->setObjectName(QStringLiteral("choose-folder-dialog"));
  dialog->setFileMode(QFileDialog::Directory);
  // Qt's own dialog: the same on every desktop, and a child of the window.
  dialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  dialog->setLabelText(QFileDialog::Accept, crel::tr("Save Here"));
  const QString message = crel::tr("Choose a folder for this crel. Changes will be saved automatically.");
  dialog->setWindowTitle(message);
  dialog->setAccessibleDescription(message);
  // Proposed, not created: the default folder may not exist yet, and the
  // saved file's folder may be gone. The dialog shows an empty view for a
  // folder that does not exist, so it opens at the nearest one that does.
  const std::optional<QString> &saved = document_->savedURL();
  QFileInfo proposed(saved ? QFileInfo(*saved).absolutePath() : CrelStorage::defaultDirectory());
  while (!proposed.isDir() && proposed.absolutePath() != proposed.absoluteFilePath())
    proposed = QFileInfo(proposed.absolutePath());
  dialog->setDirectory(proposed.absoluteFilePath());
  dialog->setWindowModality(Qt::WindowModal);
  connect(dialog, &QDialog::finished, this, [this, dialog, answer](int result) {
    dialog->deleteLater();
    const QStringList chosen = dialog->selectedFiles();
    if (result != QDialog::Accepted || chosen.isEmpty()) {
      answer(false);
      return;
    }
    try {
      document_->changeAutosaveDirectory(chosen.first());
    } catch (...) {
      showError(describe(std::current_exception()));
      answer(false);
      return;
    }
    answer(true);
  });
  dialog->open();
}

bool EditorController::windowShouldClose() {
  if (document_->finishTextEditing)
    document_->finishTextEditing();
  if (closingApproved_)
    return true;
  // A close request while a prompt is open is refused; the prompt decides.
  if (Sheets::attached(window_.get()))
    return false;
  try {
    document_->flushAutosave();
  } catch (const std::exception &) {
    // The error stays in the document's autosaveError.
  }
  if (cleanlySaved(*document_))
    return true;
  confirmDiscard([self = QPointer<EditorController>(this)](bool discard) {
    if (!discard || !self)
      return;
    self->closingApproved_ = true;
    if (self->window_)
      self->window_->close();
  });
  return false;
}

void EditorController::confirmDiscard(std::function<void(bool)> completion) {
  // A question already up, or waiting for its turn, answers this one too,
  // after the asker that opened it: one prompt, one choice.
  const bool asking = !askers_.empty();
  askers_.push_back(answerOnce(this, std::move(completion)));
  if (!asking)
    askDiscard();
}

void EditorController::askDiscard() {
  // Gone with the controller: every asker has heard false from answerOnce.
  const auto answer = [self = QPointer<EditorController>(this)](bool mayClose) {
    if (self)
      for (const auto &asker : std::exchange(self->askers_, {}))
        asker(mayClose);
  };
  if (cleanlySaved(*document_) || !window_) {
    answer(true);
    return;
  }
  // Another dialog (an error, a folder choice) is up: the question comes
  // once it is gone, over whatever that dialog left.
  if (QDialog *other = Sheets::attached(window_.get())) {
    connect(other, &QDialog::finished, this, &EditorController::askDiscard, Qt::SingleShotConnection);
    return;
  }
  auto *box = new QMessageBox(window_.get());
  box->setWindowTitle(AppIdentity::name());
  box->setObjectName(QStringLiteral("confirm-discard"));
  box->setIcon(QMessageBox::Warning);
  box->setText(crel::tr("This crel could not be saved automatically"));
  box->setInformativeText(
      crel::tr("Choose another folder to keep the capture and its latest edits, or cancel to continue editing."));
  QPushButton *choose = box->addButton(crel::tr("Choose Folder…"), QMessageBox::AcceptRole);
  QPushButton *discard = box->addButton(crel::tr("Discard"), QMessageBox::DestructiveRole);
  QPushButton *cancel = box->addButton(crel::tr("Cancel"), QMessageBox::RejectRole);
  box->setDefaultButton(choose);
  box->setEscapeButton(cancel);
  box->setWindowModality(Qt::WindowModal);
  // Decided by the button, not the result code: Qt orders buttons by the
  // desktop's layout.
  connect(box, &QDialog::finished, this, [this, box, choose, discard, answer] {
    const QAbstractButton *clicked = box->clickedButton();
    box->deleteLater();
    if (clicked == choose)
      chooseFolder(answer); // the dialog is already hidden: no sheet in the way
    else
      answer(clicked == discard);
  });
  box->open();
}

void EditorController::windowWillClose() {
  keyMonitor_.reset();
  // A colour still settling becomes its undo step now, and the panel lets go.
  InkColorPanel::shared().release(*document_);
  Q_EMIT closed(this);
}

} // namespace crel
