#pragma once

#include <QSize>
#include <QString>

#include <memory>

class QFileDialog;

namespace crel {

// The Open Image dialog: one image file, with where the user's images are
// said above the files.
class ImageOpenPanel {
public:
  // Shows whole file names beside their dates.
  static constexpr QSize size{900, 560};

  // Built but not shown, starting in `directory`, which it creates first.
  // Throws when the folder cannot be made.
  static std::unique_ptr<QFileDialog> make(const QString &directory);
};

} // namespace crel
