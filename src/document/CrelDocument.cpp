#include "CrelDocument.h"

#include "AnnotationPreferences.h"
#include "MarkGeometry.h"
#include "MarkValidation.h"
#include "TextRecognition.h"

#include "platform/base/Translate.h"

#include "CrelError.h"
#include "CrelStorage.h"
#include "MarkDrawing.h"
#include "UpdateHandover.h"

#include "platform/clipboard/Pasteboard.h"
#include "platform/files/AtomicFileWriter.h"
#include "platform/files/FileError.h"
#include "platform/image/PngEncoder.h"

#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <new>
#include <utility>

namespace crel {

CrelDocument::CrelDocument(const QImage &image, AnnotationPreferences &preferences, QObject *parent)
    : QObject(parent), image_(image), background_(std::make_unique<ExtendedImageBackground>(image)),
      preferences_(preferences), annotationStyle_(preferences.style()), ink_(Ink::palette().first()),
      status_(crel::tr("Drag to add an arrow. Draw past any edge to make more room.")) {
  pendingSave_.setSingleShot(true);
  pendingSave_.setInterval(autosaveDelayMs);
  // The timer dies with the document, so a closed document never writes.
  connect(&pendingSave_, &QTimer::timeout, this, [this] {
    try {
      flushAutosave();
    } catch (...) {
      // Already published in autosaveError and status.
    }
  });
}

CrelDocument::~CrelDocument() = default;

template <class T, class Signal> void CrelDocument::publish(T &field, const T &value, Signal signal) {
  field = value;
  Q_EMIT(this->*signal)();
  Q_EMIT changed();
}

void CrelDocument::setSelection(std::optional<QUuid> id) { publish(selection_, id, &CrelDocument::selectionChanged); }
void CrelDocument::setTool(MarkTool tool) { publish(tool_, tool, &CrelDocument::toolChanged); }
void CrelDocument::setHighlightMode(HighlightMode mode) {
  publish(highlightMode_, mode, &CrelDocument::highlightModeChanged);
}
void CrelDocument::setRedactMode(HighlightMode mode) { publish(redactMode_, mode, &CrelDocument::redactModeChanged); }
void CrelDocument::setBlurMode(HighlightMode mode) { publish(blurMode_, mode, &CrelDocument::blurModeChanged); }
void CrelDocument::setZoom(double zoom) { publish(zoom_, zoom, &CrelDocument::zoomChanged); }
void CrelDocument::setPan(QSizeF pan) { publish(pan_, pan, &CrelDocument::panChanged); }
void CrelDocument::setStatus(const QString &status) { publish(status_, status, &CrelDocument::statusChanged); }

void CrelDocument::setSelectedWords(const QList<RecognizedWord> &words) {
  publish(selectedWords_, words, &CrelDocument::selectedWordsChanged);
}

void CrelDocument::scheduleAutosave() {
  if (!autosaveDirectory_)
    return;
  setStatus(crel::tr("Saving changes…"));
  savePending_ = true;
  pendingSave_.start();
}

namespace {
// New names tried when other writers keep taking the chosen one first.
constexpr int maxNameAttempts = 100;

QString describe(const std::exception &e) {
  if (const auto *crel = dynamic_cast<const CrelError *>(&e))
    return crel->errorDescription();
  if (const auto *file = dynamic_cast<const FileError *>(&e))
    return file->message();
  return QString::fromUtf8(e.what());
}
} // namespace

void CrelDocument::flushAutosave() {
  pendingSave_.stop();
  const bool wasPending = std::exchange(savePending_, false);
  if (!autosaveDirectory_)
    return;
  if (savedURL_ && !isDirty() && QFileInfo::exists(*savedURL_)) {
    publish(autosaveError_, std::optional<QString>(), &CrelDocument::autosaveErrorChanged);
    // A change that was undone before the delayed write must not leave
    // "Saving changes…" showing forever.
    if (wasPending)
      setStatus(crel::tr("Saved %1").arg(QFileInfo(*savedURL_).fileName()));
    return;
  }
  try {
    CrelStorage::prepareDirectory(*autosaveDirectory_);
    if (savedURL_) {
      save(*savedURL_);
    } else {
      // A new name is never allowed to replace a file that appeared meanwhile;
      // losing that race to another process moves on to the next free name.
      const QByteArray png = renderPNG();
      QString target;
      for (int attempt = 1;; ++attempt) {
        target = CrelStorage::availableURL(*autosaveDirectory_, filenameStem_);
        try {
          AtomicFileWriter::write(target, png, AtomicFileWriter::Existing::refuse);
          break;
        } catch (const FileError &e) {
          if (e.errorCode() != EEXIST || attempt == maxNameAttempts)
            throw;
        }
      }
      publish(savedURL_, std::optional<QString>(target), &CrelDocument::savedURLChanged);
      savedMarks_ = marks_;
      setStatus(crel::tr("Saved %1").arg(QFileInfo(target).fileName()));
    }
    publish(autosaveError_, std::optional<QString>(), &CrelDocument::autosaveErrorChanged);
  } catch (const std::exception &e) {
    const QString message = crel::tr("Could not save: %1").arg(describe(e));
    publish(autosaveError_, std::optional<QString>(message), &CrelDocument::autosaveErrorChanged);
    setStatus(message);
    throw;
  }
}

bool CrelDocument::failedForMemory(const std::exception_ptr &error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc &) {
    return true;
  } catch (const CrelError &e) {
    // What renderBitmap() and renderPNG() throw for a null image or std::bad_alloc.
    return e.kind() == CrelError::Kind::rendering;
  } catch (...) {
  }
  return false;
}

void CrelDocument::save(const QString &path) {
  const QByteArray png = renderPNG();
  AtomicFileWriter::write(path, png, AtomicFileWriter::Existing::replace);
  publish(savedURL_, std::optional<QString>(path), &CrelDocument::savedURLChanged);
  savedMarks_ = marks_;
  setStatus(crel::tr("Saved %1").arg(QFileInfo(path).fileName()));
}

void CrelDocument::prepareAutosave(const QString &directory, const QString &stem) {
  autosaveDirectory_ = directory;
  filenameStem_ = stem;
}

void CrelDocument::enableAutosave(const QString &directory, const QString &stem) {
  prepareAutosave(directory, stem);
  flushAutosave();
}

void CrelDocument::changeAutosaveDirectory(const QString &directory) {
  const auto oldDirectory = autosaveDirectory_;
  const auto oldURL = savedURL_;
  const auto oldMarks = savedMarks_;
  autosaveDirectory_ = directory;
  savedURL_.reset();
  savedMarks_.reset();
  try {
    flushAutosave();
  } catch (...) {
    autosaveDirectory_ = oldDirectory;
    publish(savedURL_, oldURL, &CrelDocument::savedURLChanged);
    savedMarks_ = oldMarks;
    // Changes that were waiting for the delayed write still reach the old
    // file; the failure stays on show.
    if (savedURL_ && isDirty()) {
      const QString failure = status_;
      try {
        save(*savedURL_);
      } catch (...) {
      }
      setStatus(failure);
    }
    throw;
  }
}

bool CrelDocument::isDirty() const { return !savedMarks_ || !sameMarks(*savedMarks_, marks_); }

// ---- across an update

UpdateSnapshot CrelDocument::snapshotForUpdate() { return UpdateHandover::take(*this); }

std::unique_ptr<CrelDocument> CrelDocument::restoreAfterUpdate(const UpdateSnapshot &snapshot,
                                                               AnnotationPreferences &preferences,
                                                               const QString &savedImagesFolder, QString *notice) {
  return UpdateHandover::rebuild(snapshot, preferences, savedImagesFolder, notice);
}

// ---- recognised text

void CrelDocument::recognizeTextIfNeeded() {
  if (recognitionAttempted_ || image_.isNull())
    return;
  recognitionAttempted_ = true;
  publish(recognizing_, true, &CrelDocument::recognizingChanged);
  publish(recognitionStatus_, TextRecognition::runningStatus(), &CrelDocument::recognitionStatusChanged);
  // A closed document cancels its recognition: nothing arrives for it later.
  TextRecognition::recognizeInBackground(
      TextRecognizer::shared(), image_, this, [this](const TextRecognition::Outcome &outcome) {
        publish(recognizing_, false, &CrelDocument::recognizingChanged);
        if (!outcome.failed)
          publish(recognizedText_, outcome.text, &CrelDocument::recognizedTextChanged);
        publish(recognitionStatus_, outcome.statusText(), &CrelDocument::recognitionStatusChanged);
      });
}

RecognizedText CrelDocument::availableText() const {
  QList<geom::Rect> hidden;
  for (const Mark &m : std::as_const(marks_)) {
    if (m.tool != MarkTool::redact && m.tool != MarkTool::blur)
      continue;
    const QTransform rotation = rotationTransform(m);
    for (const geom::Rect &area : m.regions ? *m.regions : QList<geom::Rect>{bounds(m)})
      hidden.append(area.applying(rotation));
  }
  return recognizedText_.excludingAreas(hidden);
}

void CrelDocument::copyRecognizedText(Pasteboard &pasteboard) {
  if (availableText().copy(selectedWords_, pasteboard))
    setStatus(RecognizedText::copiedStatus());
}

void CrelDocument::callFinishTextEditing() {
  if (finishTextEditing)
    finishTextEditing();
}

// ---- tools and settings

void CrelDocument::selectTool(MarkTool tool) {
  callFinishTextEditing();
  setTool(tool);
  setSelection(std::nullopt);
  setSelectedWords({});
  if (tool != MarkTool::select) {
    const QString key = rawValue(tool);
    publish(stroke_, toolWidths_.value(key, AnnotationPreferences::defaultWidth(tool)), &CrelDocument::strokeChanged);
    const Ink fallback = tool == MarkTool::highlight ? Ink::lemon() : Ink::palette().first();
    publish(ink_, toolInks_.value(key, fallback), &CrelDocument::inkChanged);
  }
  if (tool == MarkTool::highlight || tool == MarkTool::redact || tool == MarkTool::extract || tool == MarkTool::blur)
    recognizeTextIfNeeded();
  setStatus(hint(tool));
}

void CrelDocument::selectMark(const Mark &given, bool keepTool) {
  // A gesture's draft as the commit kept it: the settings taken from it
  // must survive an update as the mark does. Only its sizes are read here,
  // so its points are not walked again after the commit's check.
  const Mark mark = MarkValidation::withSettingsClamped(given);
  setSelection(mark.id);
  if (!keepTool)
    setTool(MarkTool::select);
  publish(ink_, mark.ink, &CrelDocument::inkChanged);
  publish(stroke_, mark.width, &CrelDocument::strokeChanged);
  publish(arrowHeadScale_, mark.arrowHeadScale, &CrelDocument::arrowHeadScaleChanged);
  if (mark.tool == MarkTool::text)
    publish(fontSize_, mark.fontSize, &CrelDocument::fontSizeChanged);
  toolWidths_.insert(rawValue(mark.tool), mark.width);
  switch (mark.tool) {
  case MarkTool::highlight:
    publish(highlightOpacity_, mark.opacity.value_or(0.35), &CrelDocument::highlightOpacityChanged);
    setHighlightMode(mark.highlightMode.value_or(HighlightMode::marker));
    break;
  case MarkTool::redact: setRedactMode(mark.regions ? HighlightMode::text : HighlightMode::area); break;
  case MarkTool::blur:
    setBlurMode(mark.regions ? HighlightMode::text : HighlightMode::area);
    publish(blurEffect_, mark.blurEffect.value_or(BlurEffect::blur), &CrelDocument::blurEffectChanged);
    publish(blurStrength_, mark.blurStrength.value_or(16.0), &CrelDocument::blurStrengthChanged);
    break;
  default: break;
  }
  setStatus(
      QCoreApplication::translate(
          "Crel", "%1 selected. Drag to move; use the round handle above to rotate. Shift snaps rotation to 15° steps.")
          .arg(label(mark.tool)));
}

const Mark *CrelDocument::selectedMark() const {
  if (!selection_)
    return nullptr;
  for (const Mark &m : std::as_const(marks_))
    if (m.id == *selection_)
      return &m;
  return nullptr;
}

MarkTool CrelDocument::activeTool() const {
  const Mark *m = selectedMark();
  return m ? m->tool : tool_;
}

long long CrelDocument::nextStep() const {
  std::optional<long long> highest;
  for (const Mark &m : std::as_const(marks_))
    if (m.tool == MarkTool::step && m.number)
      highest = highest ? std::max(*highest, *m.number) : *m.number;
  return highest ? *highest + 1 : 1;
}

// Applies `change` to the mark with the selected id (every mark with it) and
// commits; commit itself drops an unchanged array.
template <class F> void CrelDocument::commitSelected(F change) {
  if (!selection_)
    return;
  QList<Mark> updated = marks_;
  for (Mark &m : updated)
    if (m.id == *selection_)
      change(m);
  commit(updated);
}

void CrelDocument::setStroke(double width) {
  const MarkTool active = activeTool();
  const double minimum = active == MarkTool::step ? 16 : 1;
  const double value = !std::isnan(width) && width >= minimum ? width : minimum;
  publish(stroke_, value, &CrelDocument::strokeChanged);
  if (active != MarkTool::select)
    toolWidths_.insert(rawValue(active), value);
  commitSelected([value](Mark &m) { m.width = value; });
}

void CrelDocument::setInk(const Ink &ink) {
  publish(ink_, ink, &CrelDocument::inkChanged);
  const MarkTool active = activeTool();
  if (active != MarkTool::select)
    toolInks_.insert(rawValue(active), ink);
  commitSelected([&ink](Mark &m) { m.ink = ink; });
}

void CrelDocument::setBlur(std::optional<BlurEffect> effect, std::optional<double> strength) {
  if (effect)
    publish(blurEffect_, *effect, &CrelDocument::blurEffectChanged);
  if (strength) {
    const double value = std::isnan(*strength) ? 4.0 : std::clamp(*strength, 4.0, 96.0);
    publish(blurStrength_, value, &CrelDocument::blurStrengthChanged);
  }
  commitSelected([this](Mark &m) {
    if (m.tool == MarkTool::blur) {
      m.blurEffect = blurEffect_;
      m.blurStrength = blurStrength_;
    }
  });
}

void CrelDocument::setHighlightOpacity(double opacity) {
  publish(highlightOpacity_, opacity, &CrelDocument::highlightOpacityChanged);
  commitSelected([opacity](Mark &m) {
    if (m.tool == MarkTool::highlight)
      m.opacity = opacity;
  });
}

void CrelDocument::setArrowHeadScale(double scale) {
  publish(arrowHeadScale_, scale, &CrelDocument::arrowHeadScaleChanged);
  commitSelected([scale](Mark &m) {
    if (m.tool == MarkTool::arrow)
      m.arrowHeadScale = scale;
  });
}

void CrelDocument::setFontSize(double size) {
  publish(fontSize_, size, &CrelDocument::fontSizeChanged);
  commitSelected([size](Mark &m) {
    if (m.tool == MarkTool::text)
      m.fontSize = size;
  });
}

bool CrelDocument::darkBackground(const geom::Rect &rect) const {
  const geom::Rect area = rect.intersected(geom::Rect(0, 0, pixelSize().width(), pixelSize().height())).integral();
  if (area.isNull() || !(area.width() > 0) || !(area.height() > 0))
    return false;
  // Exact mean of the premultiplied pixels, as a 1x1 area-average would give.
  const int x0 = int(area.minX()), y0 = int(area.minY()), w = int(area.width()), h = int(area.height());
  const QImage &pixels = background_->pixels();
  if (pixels.format() != QImage::Format_ARGB32_Premultiplied)
    return false;
  double r = 0, g = 0, b = 0;
  for (int y = y0; y < y0 + h; ++y) {
    const auto *row = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
    for (int x = x0; x < x0 + w; ++x) {
      r += qRed(row[x]);
      g += qGreen(row[x]);
      b += qBlue(row[x]);
    }
  }
  const double n = double(w) * h;
  return 0.2126 * std::round(r / n) + 0.7152 * std::round(g / n) + 0.0722 * std::round(b / n) < 115;
}

// ---- edit history

void CrelDocument::setMarks(const QList<Mark> &marks) {
  publish(marks_, marks, &CrelDocument::marksChanged);
  // The patch each blur mark used last is kept from eviction; a mark that is
  // gone gives its patch back to the cache's limits.
  QSet<QUuid> blurMarks;
  for (const Mark &m : std::as_const(marks_))
    if (m.tool == MarkTool::blur)
      blurMarks.insert(m.id);
  blurRenderer_.cache().keepOnlyMarks(blurMarks);
}

EditState CrelDocument::currentSnapshot() const { return {marks_, annotationStyle_}; }

void CrelDocument::recordUndo(const EditState &state) {
  history_.append(state);
  if (history_.size() > historyLimit)
    history_.removeFirst();
  Q_EMIT historyChanged();
  Q_EMIT changed();
}

void CrelDocument::commit(const QList<Mark> &proposed) {
  // Within the stored form's limits, so every state here, undone or not,
  // survives an update.
  QList<Mark> marks = proposed;
  for (qsizetype i = 0; i < marks.size(); ++i)
    if (!MarkValidation::withinLimits(marks.at(i)))
      marks[i] = MarkValidation::clamped(marks.at(i));
  if (sameMarks(marks, marks_))
    return;
  if (settling_ && !inSettlingChange_)
    closeEditing(false);
  if (!editBaseline_)
    recordUndo(currentSnapshot());
  setMarks(marks);
  publish(future_, QList<EditState>(), &CrelDocument::futureChanged);
  scheduleAutosave();
}

void CrelDocument::restore(const EditState &state) {
  if (state.style && *state.style != annotationStyle_) {
    publish(annotationStyle_, *state.style, &CrelDocument::annotationStyleChanged);
    preferences_.setStyle(*state.style);
  }
  setMarks(state.marks);
  if (const Mark *m = selectedMark(); m && m->tool == MarkTool::blur) {
    publish(blurEffect_, m->blurEffect.value_or(BlurEffect::blur), &CrelDocument::blurEffectChanged);
    publish(blurStrength_, m->blurStrength.value_or(16.0), &CrelDocument::blurStrengthChanged);
  }
  scheduleAutosave();
}

void CrelDocument::step(QList<EditState> &from, QList<EditState> &to, void (CrelDocument::*fromSignal)(),
                        void (CrelDocument::*toSignal)()) {
  callFinishTextEditing();
  // An open bracket (a colour still settling) is closed first; moving states
  // between the stacks under it would make the next undo go forward.
  closeEditing(false);
  if (from.isEmpty())
    return;
  const EditState state = from.takeLast();
  Q_EMIT(this->*fromSignal)();
  to.append(currentSnapshot());
  Q_EMIT(this->*toSignal)();
  restore(state);
  setSelection(std::nullopt);
}

void CrelDocument::undo() { step(history_, future_, &CrelDocument::historyChanged, &CrelDocument::futureChanged); }
void CrelDocument::redo() { step(future_, history_, &CrelDocument::futureChanged, &CrelDocument::historyChanged); }

bool CrelDocument::canUndo() const {
  if (!history_.isEmpty())
    return true;
  return editBaseline_ && !(currentSnapshot() == *editBaseline_);
}

void CrelDocument::beginEditing(const void *owner) {
  // Another bracket (an inline text edit) does not join a settling one.
  if (settling_ && !inSettlingChange_)
    closeEditing(false);
  if (editBaseline_)
    return;
  editBaseline_ = currentSnapshot();
  editFuture_ = future_;
  editOwner_ = owner;
}

void CrelDocument::endEditing(bool cancel, const void *owner) {
  if (!editBaseline_ || owner != editOwner_)
    return;
  closeEditing(cancel);
}

void CrelDocument::editSettling(const void *owner, const std::function<void()> &change) {
  if (!editBaseline_) {
    beginEditing(owner);
    settling_ = true;
  }
  const bool outer = inSettlingChange_;
  inSettlingChange_ = true;
  change();
  inSettlingChange_ = outer;
}

void CrelDocument::closeEditing(bool cancel) {
  if (!editBaseline_)
    return;
  editOwner_ = nullptr;
  settling_ = false;
  const EditState baseline = *editBaseline_;
  editBaseline_.reset();
  const QList<EditState> savedFuture = editFuture_.value_or(QList<EditState>());
  editFuture_.reset();
  if (cancel) {
    restore(baseline);
    publish(future_, savedFuture, &CrelDocument::futureChanged);
  } else if (currentSnapshot() == baseline) {
    publish(future_, savedFuture, &CrelDocument::futureChanged);
  } else {
    recordUndo(baseline);
  }
}

void CrelDocument::setStyle(AnnotationStyle style) {
  callFinishTextEditing();
  closeEditing(false);
  preferences_.setStyle(style);
  QList<Mark> restyled = marks_;
  for (Mark &m : restyled)
    m.style = style;
  if (style == annotationStyle_ && sameMarks(restyled, marks_))
    return;
  recordUndo(currentSnapshot());
  publish(annotationStyle_, style, &CrelDocument::annotationStyleChanged);
  setMarks(restyled);
  publish(future_, QList<EditState>(), &CrelDocument::futureChanged);
  scheduleAutosave();
}

// ---- operations on the selected mark

void CrelDocument::duplicateSelection() {
  const Mark *selected = selectedMark();
  if (!selected)
    return;
  Mark copy = moved(*selected, 16, 16);
  copy.id = QUuid::createUuid();
  if (copy.tool == MarkTool::step)
    copy.number = nextStep();
  QList<Mark> updated = marks_;
  updated.append(copy);
  commit(updated);
  selectMark(copy, false);
}

void CrelDocument::rotateSelection(std::optional<double> by) {
  callFinishTextEditing();
  const Mark *selected = selectedMark();
  if (!selected)
    return;
  double angle = 0;
  if (by) {
    const double current = selected->rotation.value_or(0);
    angle = (std::isfinite(current) ? current : 0) + *by;
  }
  const Mark turned = rotated(*selected, angle);
  QList<Mark> updated = marks_;
  for (Mark &m : updated)
    if (m.id == turned.id) {
      m = turned;
      break;
    }
  commit(updated);
  selectMark(turned, false);
}

void CrelDocument::reorderSelection(bool front) {
  const Mark *selected = selectedMark();
  if (!selected)
    return;
  const Mark mark = *selected;
  QList<Mark> others;
  others.reserve(marks_.size());
  for (const Mark &m : std::as_const(marks_))
    if (m.id != mark.id)
      others.append(m);
  if (front)
    others.append(mark);
  else
    others.prepend(mark);
  commit(others);
}

void CrelDocument::deleteSelection() {
  if (!selection_)
    return;
  QList<Mark> kept;
  kept.reserve(marks_.size());
  for (const Mark &m : std::as_const(marks_))
    if (m.id != *selection_)
      kept.append(m);
  commit(kept);
  setSelection(std::nullopt);
}

// ---- flattening and export

geom::Rect CrelDocument::expandedBounds(const QList<Mark> &marks) const {
  const double width = pixelSize().width(), height = pixelSize().height();
  geom::Rect u(0, 0, width, height);
  for (const Mark &m : marks) {
    const geom::Rect v = localVisualBounds(m);
    if (!v.isNull())
      u = u.united(v.applying(rotationTransform(m)));
  }
  const double left = u.minX() < 0 ? std::floor(u.minX() - 16) : 0;
  const double top = u.minY() < 0 ? std::floor(u.minY() - 16) : 0;
  const double right = u.maxX() > width ? std::ceil(u.maxX() + 16) : width;
  const double bottom = u.maxY() > height ? std::ceil(u.maxY() + 16) : height;
  return {left, top, right - left, bottom - top};
}

void CrelDocument::drawMarks(QPainter &painter, const QList<Mark> &marks) {
  // Skipping what a blur above replaces also spares filtering it: a stack of
  // blurs filters one patch per layer, not one per layer beneath each.
  const QList<bool> hidden = BlurRenderer::hiddenMarks(painter, marks);
  for (qsizetype i = 0; i < marks.size(); ++i) {
    const Mark &mark = marks[i];
    if (hidden[i])
      continue;
    if (mark.tool != MarkTool::blur) {
      draw(painter, mark);
      continue;
    }
    const QList<Mark> preceding = marks.first(i);
    blurRenderer_.draw(painter, mark, preceding, [this, &preceding](QPainter &p, const geom::Rect &r) {
      background_->draw(p, r, false);
      drawMarks(p, preceding);
    });
  }
}

bool CrelDocument::exportSizeAllowed(const geom::Rect &rect) {
  const double w = rect.width(), h = rect.height();
  return w * h <= maxExportPixels && w <= maxExportSide && h <= maxExportSide;
}

QImage CrelDocument::renderBitmap(const geom::Rect &rect) {
  const double w = rect.width(), h = rect.height();
  if (!exportSizeAllowed(rect))
    throw CrelError::capture(crel::tr("This canvas is too large to export. Move the outermost marks closer to the "
                                      "screenshot, or undo the last change."));
  try {
    QImage bitmap(int(w), int(h), QImage::Format_ARGB32_Premultiplied);
    if (bitmap.isNull())
      throw CrelError::rendering();
    bitmap.fill(Qt::transparent);
    QPainter painter(&bitmap);
    if (!painter.isActive())
      throw CrelError::rendering();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(-rect.minX(), -rect.minY());
    const QList<Mark> current = marks_;
    background_->draw(painter, expandedBounds(current), false);
    drawMarks(painter, current);
    return bitmap;
  } catch (const std::bad_alloc &) {
    throw CrelError::rendering();
  }
}

QByteArray CrelDocument::renderPNG() {
  const geom::Rect bounds = expandedBounds(marks_);
  const QImage &screenshot = background_->rendering();
  // With nothing drawn over it, the screenshot's own pixels are the
  // flattened canvas: no canvas-sized buffer to allocate and fill, which is
  // most of the first save of a new capture.
  const bool bare = marks_.isEmpty() && exportSizeAllowed(bounds) &&
                    screenshot.format() == QImage::Format_ARGB32_Premultiplied &&
                    bounds == geom::Rect(0, 0, screenshot.width(), screenshot.height());
  const QImage bitmap = bare ? screenshot : renderBitmap(bounds);
  QByteArray data;
  try {
    data = PngEncoder::encode(bitmap);
  } catch (const std::bad_alloc &) {
    throw CrelError::rendering();
  }
  if (data.isEmpty())
    throw CrelError::rendering();
  return data;
}

void CrelDocument::copy(Pasteboard &pasteboard) {
  callFinishTextEditing();
  const QByteArray png = renderPNG();
  pasteboard.clear();
  if (!pasteboard.writeData(QStringLiteral("image/png"), png))
    throw CrelError::clipboard();
  setStatus(crel::tr("Copied to clipboard. Paste anywhere with Ctrl+V."));
}

std::optional<PixelColor> CrelDocument::pixelColor(QPointF point) {
  if (!std::isfinite(point.x()) || !std::isfinite(point.y()))
    return std::nullopt;
  if (!expandedBounds(marks_).contains(point))
    return std::nullopt;
  QImage pixel;
  try {
    pixel = renderBitmap(geom::Rect(std::floor(point.x()), std::floor(point.y()), 1, 1));
  } catch (const CrelError &) {
    return std::nullopt;
  }
  const QRgb premultiplied = reinterpret_cast<const QRgb *>(pixel.constScanLine(0))[0];
  if (qAlpha(premultiplied) == 0)
    return PixelColor{0, 0, 0, 0};
  const QRgb c = qUnpremultiply(premultiplied);
  return PixelColor{std::uint8_t(qRed(c)), std::uint8_t(qGreen(c)), std::uint8_t(qBlue(c)), std::uint8_t(qAlpha(c))};
}

} // namespace crel
