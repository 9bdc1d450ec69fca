#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace crel {

// Images the user opens from outside: PNG, JPEG, TIFF or HEIC, judged by
// their content rather than their name, so that no other decoder ever sees
// a file offered as an image.
namespace ImageOpening {

enum class Format { none, png, jpeg, tiff, heic };
// The format the first bytes of a file announce; none for anything else
// (GIF, SVG, text, an empty file...).
Format sniff(const QByteArray &head);

// Full size, upright by the file's orientation, in a format the editor
// takes. Throws CrelError::invalidImage for a file that is not one of the
// four formats, is empty or truncated, or exceeds 80 megapixels (checked
// from the header, before any pixel memory is allocated).
QImage readImage(const QString &path);

// The file dialog's filter.
QString nameFilter();

} // namespace ImageOpening

} // namespace crel
