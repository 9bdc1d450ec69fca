#include "UpdateHandover.h"

#include "AnnotationPreferences.h"
#include "CrelDocument.h"
#include "CrelError.h"
#include "CrelStorage.h"
#include "MarkValidation.h"

#include "platform/base/Translate.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/RegularFile.h"
#include "platform/image/ImageDecoder.h"
#include "platform/image/PngEncoder.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

#include <unistd.h>

namespace crel {

UpdateSnapshot UpdateHandover::take(CrelDocument &d) {
  d.callFinishTextEditing();
  d.closeEditing(false);
  d.flushAutosave();
  const auto refuse = [] { return CrelError::capture(crel::tr("Save this crel before installing the update.")); };
  if (!d.savedMarks_ || !sameMarks(*d.savedMarks_, d.marks_) || !d.savedURL_)
    throw refuse();
  QByteArray png;
  try {
    png = PngEncoder::encode(d.image_);
  } catch (const std::bad_alloc &) {
    throw refuse();
  }
  if (png.isEmpty())
    throw refuse();
  UpdateSnapshot s;
  s.originalPNG = png;
  s.marks = d.marks_;
  s.history = d.history_;
  s.future = d.future_;
  s.savedURL = QUrl::fromLocalFile(*d.savedURL_);
  s.tool = d.tool_;
  s.ink = d.ink_;
  s.stroke = d.stroke_;
  s.fontSize = d.fontSize_;
  s.arrowHeadScale = d.arrowHeadScale_;
  s.selection = d.selection_;
  s.annotationStyle = d.annotationStyle_;
  s.toolWidths = d.toolWidths_;
  s.toolInks = d.toolInks_;
  s.highlightMode = d.highlightMode_;
  s.redactMode = d.redactMode_;
  s.highlightOpacity = d.highlightOpacity_;
  s.blurMode = d.blurMode_;
  s.blurEffect = d.blurEffect_;
  s.blurStrength = d.blurStrength_;
  return s;
}

namespace {

enum class SavedFile { ours, folderGone, notOurs };

// Whether the file a session record names may be written over: missing from
// a folder that exists, or a regular PNG (not a link) the size of the
// document's screenshot or of the canvas it writes. The record is outside data; its path is no permission.
SavedFile judgeSavedFile(const QString &path, const QList<QSize> &sizes) {
  if (path.isEmpty() || !QDir::isAbsolutePath(path) || !path.endsWith(QLatin1String(".png")))
    return SavedFile::notOurs;
  const RegularFile::Opened opened = RegularFile::open(path, RegularFile::Links::refuse);
  if (opened.outcome == RegularFile::Outcome::lookFailed && opened.error == ENOENT) {
    const QFileInfo folder(QFileInfo(path).absolutePath());
    return folder.isDir() && !folder.isSymLink() ? SavedFile::ours : SavedFile::folderGone;
  }
  if (!opened.ok())
    return SavedFile::notOurs;
  unsigned char head[24];
  const ssize_t n = ::read(opened.fd, head, sizeof head);
  ::close(opened.fd);
  const auto get32 = [&head](int at) {
    return quint32(head[at]) << 24 | quint32(head[at + 1]) << 16 | quint32(head[at + 2]) << 8 | head[at + 3];
  };
  const bool png = n == ssize_t(sizeof head) && std::memcmp(head, "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16) == 0;
  return png && sizes.contains(
                    QSize(int(std::min<quint32>(get32(16), INT_MAX)), int(std::min<quint32>(get32(20), INT_MAX))))
             ? SavedFile::ours
             : SavedFile::notOurs;
}

} // namespace

std::unique_ptr<CrelDocument> UpdateHandover::rebuild(const UpdateSnapshot &s, AnnotationPreferences &preferences,
                                                      const QString &savedImagesFolder, QString *notice) {
  // Saved by us as PNG; any other format in a session record is not ours.
  const bool png = s.originalPNG.startsWith("\x89PNG\r\n\x1a\n");
  ImageDecoder::Refusal refusal = ImageDecoder::Refusal::notImage;
  const QImage image = png ? ImageDecoder::decode(s.originalPNG, &refusal) : QImage();
  if (image.isNull()) {
    // Pixels there was no memory for are no damage: the caller keeps the
    // session for a later try rather than setting it aside.
    if (refusal == ImageDecoder::Refusal::noMemory)
      throw std::bad_alloc();
    throw CrelError::invalidImage(crel::tr("The screenshot's saved image data is damaged."));
  }
  auto doc = std::make_unique<CrelDocument>(image, preferences);
  CrelDocument &d = *doc;
  d.marks_ = s.marks;
  d.history_ = s.history;
  d.future_ = s.future;
  const QString path = s.savedURL.isLocalFile() ? QDir::cleanPath(s.savedURL.toLocalFile()) : QString();
  QString stem = QFileInfo(path).completeBaseName();
  if (stem.isEmpty())
    stem = QStringLiteral("Crel");
  d.filenameStem_ = stem;
  const geom::Rect canvas = d.expandedBounds(d.marks_);
  const SavedFile judged = judgeSavedFile(path, {QSize(int(canvas.width()), int(canvas.height())), image.size()});
  if (judged == SavedFile::ours) {
    d.savedURL_ = path;
    d.autosaveDirectory_ = QFileInfo(path).absolutePath();
  } else {
    // A new file under a free name: nothing that exists is replaced.
    d.autosaveDirectory_ = savedImagesFolder.isEmpty() ? CrelStorage::defaultDirectory() : savedImagesFolder;
  }
  d.tool_ = s.tool;
  // Settings are checked as a mark's fields are; one out of range (a
  // damaged or foreign record) gives the default: the tool's width, else the
  // value a new document starts with.
  using MarkValidation::within;
  const auto setting = [](double &field, std::optional<double> value, double low, double high) {
    if (value && within(*value, low, high))
      field = *value;
  };
  if (MarkValidation::inkAllowed(s.ink))
    d.ink_ = s.ink;
  d.stroke_ = AnnotationPreferences::defaultWidth(s.tool);
  // A mark's own width range: selecting an arrow shortened nearly shut makes
  // its width, well below 1, the stroke and the arrow tool's width.
  setting(d.stroke_, s.stroke, 0, MarkValidation::maxWidth);
  setting(d.fontSize_, s.fontSize, 1, MarkValidation::maxFontSize);
  setting(d.arrowHeadScale_, s.arrowHeadScale, 0, MarkValidation::maxArrowHeadScale);
  setting(d.blurStrength_, s.blurStrength, 0, MarkValidation::maxBlurStrength);
  setting(d.highlightOpacity_, s.highlightOpacity, 0, 1);
  d.selection_ = s.selection;
  d.annotationStyle_ = s.annotationStyle.value_or(AnnotationStyle::formal);
  // A tool without a remembered width or ink starts from its default.
  for (const auto &[tool, width] : s.toolWidths.value_or(QMap<QString, double>()).asKeyValueRange())
    if (within(width, 0, MarkValidation::maxWidth))
      d.toolWidths_.insert(tool, width);
  for (const auto &[tool, ink] : s.toolInks.value_or(QMap<QString, Ink>()).asKeyValueRange())
    if (MarkValidation::inkAllowed(ink))
      d.toolInks_.insert(tool, ink);
  d.highlightMode_ = s.highlightMode.value_or(HighlightMode::text);
  d.redactMode_ = s.redactMode.value_or(HighlightMode::area);
  d.blurMode_ = s.blurMode.value_or(HighlightMode::area);
  d.blurEffect_ = s.blurEffect.value_or(BlurEffect::blur);
  bool saved = true;
  try {
    d.flushAutosave();
  } catch (...) {
    // Without the memory to write it, the crel waits in the session for a
    // launch that has it, rather than living only in this one's memory.
    if (CrelDocument::failedForMemory(std::current_exception()))
      throw std::bad_alloc();
    saved = false; // shown in autosaveError and status; the user can choose another folder
  }
  if (judged != SavedFile::ours && notice) {
    const QString named = path.isEmpty() ? s.savedURL.toDisplayString() : CrelStorage::displayPath(path);
    const QString now = d.savedURL_ ? CrelStorage::displayPath(*d.savedURL_) : QString();
    if (judged == SavedFile::folderGone)
      *notice =
          saved
              ? crel::tr("The folder of %1 no longer exists; the restored screenshot was saved as %2.").arg(named, now)
              : crel::tr("The folder of %1 no longer exists.").arg(named);
    else
      *notice = saved
                    ? crel::tr("%1 is not an image %2 saved, so it was left as it is; the restored screenshot "
                               "was saved as %3.")
                          .arg(named, AppIdentity::name(), now)
                    : crel::tr("%1 is not an image %2 saved, so it was left as it is.").arg(named, AppIdentity::name());
  }
  if (d.tool_ == MarkTool::highlight || d.tool_ == MarkTool::redact || d.tool_ == MarkTool::extract)
    d.recognizeTextIfNeeded();
  if (saved)
    d.setStatus(crel::tr("Restored after updating. Your annotations are still editable."));
  return doc;
}
} // namespace crel
