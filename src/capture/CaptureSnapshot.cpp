#include "CaptureSnapshot.h"

#include "CropBuffer.h"

#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "platform/base/Translate.h"

#include <QColorSpace>

#include <cmath>
#include <cstring>

namespace crel {

CaptureSnapshot CaptureSnapshot::fromStill(const DisplayStill &still) {
  return {still.displayID, geom::Rect::fromQRectF(still.frame), still.image, still.outputScale};
}

SnapshotRequest CaptureSnapshot::takeDisplays(SnapshotProvider &provider, QObject *receiver, Completion done) {
  return provider.takeDisplays(
      receiver, [done = std::move(done)](std::vector<DisplayStill> stills, std::exception_ptr error) {
        if (error) {
          try {
            std::rethrow_exception(error);
          } catch (const SnapshotError &e) {
            if (e.kind() == SnapshotError::Kind::noDisplay || e.kind() == SnapshotError::Kind::displayChanged)
              error = std::make_exception_ptr(CrelError::capture(e.message()));
          } catch (...) {
          }
          done({}, error);
          return;
        }
        if (stills.empty()) {
          done({}, std::make_exception_ptr(CrelError::capture(crel::tr("No display is available to capture."))));
          return;
        }
        std::vector<CaptureSnapshot> snapshots;
        snapshots.reserve(stills.size());
        for (const DisplayStill &still : stills)
          snapshots.push_back(fromStill(still));
        done(std::move(snapshots), nullptr);
      });
}

bool CaptureSnapshot::isPermissionError(const std::exception_ptr &error) {
  if (!error)
    return false;
  try {
    std::rethrow_exception(error);
  } catch (const SnapshotError &e) {
    return e.kind() == SnapshotError::Kind::permissionDeclined;
  } catch (...) {
  }
  return false;
}

QRect CaptureSnapshot::pixelRect(const geom::Rect &rect) const {
  const geom::Rect &frame = screenFrame;
  const geom::Rect clipped = rect.intersected(frame);
  if (clipped.isNull() || clipped.isEmpty() || frame.isNull() || !(frame.width() > 0) || !(frame.height() > 0))
    return {};
  // Frames and selections share the top-left origin, so the local rectangle
  // needs no flip.
  const double left = clipped.minX() - frame.minX();
  const double top = clipped.minY() - frame.minY();
  const double width = image.width();
  const double height = image.height();
  const auto [sx, sy] = pixelsPerPoint();
  double x0 = std::round(sx * left);
  double y0 = std::round(sy * top);
  double x1 = std::round(sx * (left + clipped.width()));
  double y1 = std::round(sy * (top + clipped.height()));
  // At an output's own scale a rounded logical size may end short of the
  // last pixels (1706 x 1.5 is 2559 of 2560).
  if (outputScale > 0) {
    x1 = clipped.maxX() >= frame.maxX() ? width : x1;
    y1 = clipped.maxY() >= frame.maxY() ? height : y1;
  }
  if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
    return {};
  x0 = std::clamp(x0, 0.0, width);
  x1 = std::clamp(x1, 0.0, width);
  y0 = std::clamp(y0, 0.0, height);
  y1 = std::clamp(y1, 0.0, height);
  if (x1 <= x0 || y1 <= y0)
    return {};
  return QRect(int(x0), int(y0), int(x1 - x0), int(y1 - y0));
}

std::pair<double, double> CaptureSnapshot::pixelsPerPoint() const {
  if (outputScale > 0)
    return {outputScale, outputScale};
  const geom::Rect frame = screenFrame.standardized();
  return {image.width() / frame.width(), image.height() / frame.height()};
}

QImage CaptureSnapshot::crop(const geom::Rect &rect, CropBuffer *buffer) const {
  const QRect pixels = pixelRect(rect);
  if (pixels.isEmpty())
    throw CrelError::capture(crel::tr("Select an area inside the captured display."));
  // An editor could never save or copy it: refused before any pixel is copied.
  if (!CrelDocument::exportSizeAllowed(geom::Rect(0, 0, pixels.width(), pixels.height())))
    throw CrelError::capture(crel::tr("This area is larger than Crel can save. Select a smaller area."));
  // New pixels either way, so the crop outlives the frozen display.
  QImage result = buffer && image.depth() == 32 ? buffer->take(pixels.size(), image.format()) : QImage();
  if (!result.isNull()) {
    for (int y = 0; y < pixels.height(); ++y)
      std::memcpy(result.scanLine(y), image.constScanLine(pixels.y() + y) + qsizetype(pixels.x()) * 4,
                  std::size_t(pixels.width()) * 4);
    result.setColorSpace(image.colorSpace());
  } else {
    result = image.copy(pixels);
  }
  if (result.isNull())
    throw CrelError::capture(crel::tr("There is not enough memory for this capture. Select a smaller area."));
  result.setDevicePixelRatio(1);
  return result;
}

} // namespace crel
