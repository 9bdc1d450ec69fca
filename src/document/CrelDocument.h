#pragma once

#include "AnnotationStyle.h"
#include "BlurEffect.h"
#include "BlurRenderer.h"
#include "EditState.h"
#include "ExtendedImageBackground.h"
#include "HighlightMode.h"
#include "Ink.h"
#include "Mark.h"
#include "MarkTool.h"
#include "PixelColor.h"
#include "RecognizedText.h"
#include "UpdateSnapshot.h"

#include <QImage>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSizeF>
#include <QTimer>
#include <QUrl>
#include <QUuid>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace crel {

class AnnotationPreferences;
class Pasteboard;

// One screenshot and its ordered marks, with everything the editor and the
// canvas need to know about the current editing state. Every assignment to an
// observed field emits that field's signal and then the coarse changed();
// receivers refresh on a queued call. Main thread only.
class CrelDocument : public QObject {
  Q_OBJECT
public:
  CrelDocument(const QImage &image, AnnotationPreferences &preferences, QObject *parent = nullptr);
  ~CrelDocument() override;

  // ---- constants
  const QImage &image() const { return image_; }
  QSize pixelSize() const { return image_.size(); }
  const ExtendedImageBackground &background() const { return *background_; }
  BlurRenderer &blurRenderer() { return blurRenderer_; }

  // ---- observed state
  AnnotationStyle annotationStyle() const { return annotationStyle_; }
  const QList<Mark> &marks() const { return marks_; }
  std::optional<QUuid> selection() const { return selection_; }
  MarkTool tool() const { return tool_; }
  const Ink &ink() const { return ink_; }
  double stroke() const { return stroke_; }
  HighlightMode highlightMode() const { return highlightMode_; }
  HighlightMode redactMode() const { return redactMode_; }
  HighlightMode blurMode() const { return blurMode_; }
  BlurEffect blurEffect() const { return blurEffect_; }
  double blurStrength() const { return blurStrength_; }
  double highlightOpacity() const { return highlightOpacity_; }
  double zoom() const { return zoom_; }
  QSizeF pan() const { return pan_; }
  double arrowHeadScale() const { return arrowHeadScale_; }
  double fontSize() const { return fontSize_; }
  const QString &status() const { return status_; }
  const QList<EditState> &history() const { return history_; }
  const QList<EditState> &future() const { return future_; }
  const RecognizedText &recognizedText() const { return recognizedText_; }
  const QString &recognitionStatus() const { return recognitionStatus_; }
  bool recognizing() const { return recognizing_; }
  const QList<RecognizedWord> &selectedWords() const { return selectedWords_; }
  // File the document was last written to (a local path).
  const std::optional<QString> &savedURL() const { return savedURL_; }
  const std::optional<QString> &autosaveError() const { return autosaveError_; }
  const std::optional<QString> &autosaveDirectory() const { return autosaveDirectory_; }
  const QString &filenameStem() const { return filenameStem_; }
  const std::optional<QList<Mark>> &savedMarks() const { return savedMarks_; }

  // Assigned directly by the editor's mode controls and the canvas; nothing
  // else changes with them.
  void setSelection(std::optional<QUuid> id);
  void setTool(MarkTool tool);
  void setHighlightMode(HighlightMode mode);
  void setRedactMode(HighlightMode mode);
  void setBlurMode(HighlightMode mode);
  void setZoom(double zoom);
  void setPan(QSizeF pan);
  void setStatus(const QString &status);
  // Set by the canvas's word gestures and the editor's choice of all text.
  void setSelectedWords(const QList<RecognizedWord> &words);

  // ---- recognised text
  // Starts recognition of the screenshot once per document, in the background.
  virtual void recognizeTextIfNeeded();
  // The recognised words not hidden by a redact or blur mark; recomputed on every read.
  RecognizedText availableText() const;
  // Copies the selected words that are still available as plain text.
  void copyRecognizedText(Pasteboard &pasteboard);

  // Set by the canvas: ends an open inline text edit.
  std::function<void()> finishTextEditing;

  // ---- tools and settings
  void selectTool(MarkTool tool);
  void selectMark(const Mark &mark, bool keepTool);
  void setStroke(double width);
  void setInk(const Ink &ink);
  void setBlur(std::optional<BlurEffect> effect, std::optional<double> strength);
  void setHighlightOpacity(double opacity);
  void setArrowHeadScale(double scale);
  void setFontSize(double size);
  // The selected mark's tool, else the current tool.
  MarkTool activeTool() const;
  // The number a new step mark gets.
  long long nextStep() const;
  // Whether the screenshot under the rectangle (image pixels) is dark.
  bool darkBackground(const geom::Rect &rect) const;
  // The first mark with the selected id.
  const Mark *selectedMark() const;

  // ---- edit history
  // One undo step to `marks`, each first brought within the stored form's
  // limits (MarkValidation::clamped); an unchanged array is dropped.
  void commit(const QList<Mark> &marks);
  void undo();
  void redo();
  bool canUndo() const;
  // A bracket makes a run of commits one undo step. While one is open,
  // opening another does nothing. A bracket opened with an owner is closed
  // only by that owner: an unowned end (a colour panel's late settle) leaves
  // an inline text edit's bracket open, so its Escape still cancels.
  void beginEditing(const void *owner = nullptr);
  void endEditing(bool cancel, const void *owner = nullptr);
  // A change that settles later (a colour picked in steps): runs `change`
  // inside `owner`'s bracket, opening it when none is open. Any other commit,
  // and undo, redo or a style change, first closes that bracket as its own
  // undo step, so the settling change never swallows an unrelated edit; a
  // bracket opened meanwhile closes it too.
  void editSettling(const void *owner, const std::function<void()> &change);
  // Whether a bracket is open, and whose it is.
  bool isEditing() const { return editBaseline_.has_value(); }
  const void *editingOwner() const { return editOwner_; }
  void setStyle(AnnotationStyle style);

  // ---- operations on the selected mark
  void duplicateSelection();
  void reorderSelection(bool front);
  void deleteSelection();
  void rotateSelection(std::optional<double> by);

  // ---- flattening and export (canvas coordinates: image pixels, y down)
  // The canvas rectangle holding the screenshot and every mark, grown past
  // an edge only where a mark overflows it, by a 16-pixel margin.
  geom::Rect expandedBounds(const QList<Mark> &marks) const;
  // The one painting loop shared by export, sampling and the canvas: marks
  // first to last; a blur mark shows a filtered copy of everything beneath.
  void drawMarks(QPainter &painter, const QList<Mark> &marks);
  // The flattened canvas region `rect`, premultiplied ARGB. Throws
  // CrelError::capture for canvases over the size limits (checked before
  // anything is allocated) and CrelError::rendering when memory runs out.
  QImage renderBitmap(const geom::Rect &rect);
  // Whether a canvas rectangle is within the export limits (inclusive).
  static bool exportSizeAllowed(const geom::Rect &rect);
  // PNG of the whole expanded canvas; throws as renderBitmap does.
  QByteArray renderPNG();
  // Puts only the PNG on the pasteboard; throws and leaves it untouched when
  // rendering fails, or CrelError::clipboard when the pasteboard refuses.
  void copy(Pasteboard &pasteboard);
  // Flattened colour of the canvas pixel under `point`; none outside the canvas.
  std::optional<PixelColor> pixelColor(QPointF point);

  // ---- autosave (paths are local file paths)
  // Writes a pending change now: cancels the scheduled write, then writes
  // when the marks differ from the saved ones or the file is gone. On failure
  // publishes "Could not save: …" in autosaveError and status, and rethrows.
  void flushAutosave();
  // Whether a flush (or a render) failed for lack of memory: an allocation
  // gave the render or the encoder a null image, or std::bad_alloc was thrown.
  static bool failedForMemory(const std::exception_ptr &error);
  // Writes the PNG to `path` atomically and records it as saved.
  void save(const QString &path);
  // Turns autosave on for a new capture and writes at once; `stem` names the file.
  void enableAutosave(const QString &directory, const QString &stem);
  // Turns autosave on without writing: the first write is the caller's
  // flushAutosave() (an editor makes it right after its first frame).
  void prepareAutosave(const QString &directory, const QString &stem);
  // Moves autosave to another folder, writing a new file there at once; on
  // failure everything is as before (pending changes go to the old file).
  void changeAutosaveDirectory(const QString &directory);
  // Never written, or the marks changed since the last write.
  bool isDirty() const;

  // ---- across an update
  using UpdateSnapshot = crel::UpdateSnapshot;
  // The whole editable state; only for a document whose marks are saved.
  UpdateSnapshot snapshotForUpdate();
  // Rebuilds an editable document. Throws CrelError::invalidImage for an image
  // that does not decode. A failed re-save does not lose the document: it
  // comes back with the error shown, as a new capture would; one that failed
  // for memory (failedForMemory) throws std::bad_alloc instead.
  // The record's saved file is written again only when it is missing from a
  // folder that still exists, or is a PNG the size of its screenshot or canvas;
  // anything else there is left alone and the document gets a new file in
  // `savedImagesFolder`, which `notice` (when given) then tells the user of.
  static std::unique_ptr<CrelDocument> restoreAfterUpdate(const UpdateSnapshot &snapshot,
                                                          AnnotationPreferences &preferences,
                                                          const QString &savedImagesFolder = {},
                                                          QString *notice = nullptr);

  static constexpr int historyLimit = 100;
  static constexpr int autosaveDelayMs = 250;
  static constexpr double maxExportSide = 32'768;
  static constexpr double maxExportPixels = 160'000'000;

Q_SIGNALS:
  void annotationStyleChanged();
  void marksChanged();
  void selectionChanged();
  void toolChanged();
  void inkChanged();
  void strokeChanged();
  void highlightModeChanged();
  void redactModeChanged();
  void blurModeChanged();
  void blurEffectChanged();
  void blurStrengthChanged();
  void highlightOpacityChanged();
  void zoomChanged();
  void panChanged();
  void arrowHeadScaleChanged();
  void fontSizeChanged();
  void statusChanged();
  void historyChanged();
  void futureChanged();
  void recognizedTextChanged();
  void recognitionStatusChanged();
  void recognizingChanged();
  void selectedWordsChanged();
  void savedURLChanged();
  void autosaveErrorChanged();
  // Any observed field changed.
  void changed();

protected:
  // Debounces a write 0.25 s ahead while autosave is on.
  void scheduleAutosave();

private:
  // Reads and restores the whole state across an update.
  friend class UpdateHandover;

  template <class T, class Signal> void publish(T &field, const T &value, Signal signal);
  void setMarks(const QList<Mark> &marks);
  EditState currentSnapshot() const;
  void recordUndo(const EditState &state);
  void restore(const EditState &state);
  void step(QList<EditState> &from, QList<EditState> &to, void (CrelDocument::*fromSignal)(),
            void (CrelDocument::*toSignal)());
  void callFinishTextEditing();
  // Closes whatever bracket is open, whoever owns it.
  void closeEditing(bool cancel);
  template <class F> void commitSelected(F change);

  QImage image_;
  std::unique_ptr<ExtendedImageBackground> background_;
  BlurRenderer blurRenderer_;
  AnnotationPreferences &preferences_;

  AnnotationStyle annotationStyle_;
  QList<Mark> marks_;
  std::optional<QUuid> selection_;
  MarkTool tool_ = MarkTool::arrow;
  Ink ink_;
  double stroke_ = 32;
  QMap<QString, double> toolWidths_;
  QMap<QString, Ink> toolInks_;
  HighlightMode highlightMode_ = HighlightMode::text;
  HighlightMode redactMode_ = HighlightMode::area;
  HighlightMode blurMode_ = HighlightMode::area;
  BlurEffect blurEffect_ = BlurEffect::blur;
  double blurStrength_ = 16;
  double highlightOpacity_ = 0.35;
  double zoom_ = 1;
  QSizeF pan_{0, 0};
  double arrowHeadScale_ = 1;
  double fontSize_ = 40;
  std::optional<EditState> editBaseline_;
  std::optional<QList<EditState>> editFuture_;
  const void *editOwner_ = nullptr;
  bool settling_ = false, inSettlingChange_ = false;
  QString status_;
  QList<EditState> history_;
  QList<EditState> future_;
  RecognizedText recognizedText_;
  QString recognitionStatus_;
  bool recognizing_ = false;
  bool recognitionAttempted_ = false;
  QList<RecognizedWord> selectedWords_;
  std::optional<QString> savedURL_;
  std::optional<QList<Mark>> savedMarks_;
  std::optional<QString> autosaveError_;
  std::optional<QString> autosaveDirectory_;
  QString filenameStem_;
  QTimer pendingSave_;
  bool savePending_ = false; // a scheduled write has not been flushed yet
};

} // namespace crel
