#pragma once

#include <memory>

class QMimeData;

namespace crel {

class CrelDocument;

// What dragging the image out of the editor carries, made when the drag
// starts: an open text edit is committed and a pending save written first;
// then the saved file's URL when that save succeeded and the file is there,
// else the flattened PNG of the canvas as it is now, as image/png, else (the
// image cannot be rendered) nothing.
namespace DragPayload {

std::unique_ptr<QMimeData> make(CrelDocument &document);

} // namespace DragPayload

} // namespace crel
