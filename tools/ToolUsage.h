#pragma once

// Shared by the developer tools: a run that asks for help (-h, --help) or
// names an option the tool does not know prints the usage and ends with
// status 2 before any work starts and before any file or folder is made.

#include <QByteArray>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace crel::tools {

// "-x" or "--x", but not a negative number such as a coordinate.
inline bool looksLikeOption(const QString &argument) {
  return argument.size() > 1 && argument[0] == '-' && !argument[1].isDigit() && argument[1] != '.';
}

// Whether any argument is an option outside `known` (help is never known).
inline bool wantsUsage(const QStringList &arguments, const QStringList &known = {}) {
  for (const QString &a : arguments)
    if (looksLikeOption(a) && !known.contains(a))
      return true;
  return false;
}

inline int printUsage(const char *usage) {
  std::fputs(usage, stderr);
  return 2;
}

// A gallery's command line: [--scale N] <folder>.
struct GalleryArguments {
  QString folder;
  double scale = 1;
};

// The gallery's arguments; absent, with the usage printed, when the command
// line is anything else.
inline std::optional<GalleryArguments> galleryArguments(QStringList arguments, const char *usage) {
  GalleryArguments parsed;
  if (const qsizetype i = arguments.indexOf("--scale"); i >= 0 && i + 1 < arguments.size()) {
    parsed.scale = arguments[i + 1].toDouble();
    arguments.remove(i, 2);
  }
  if (arguments.size() != 1 || parsed.scale <= 0 || wantsUsage(arguments)) {
    printUsage(usage);
    return std::nullopt;
  }
  parsed.folder = arguments[0];
  return parsed;
}

// For the headless picture tools, before the application is made: offscreen
// and this build's bundle unless the caller names others, and a fixed DPI so
// pictures match across machines.
inline void useHeadlessDefaults(const char *bundleDirectory) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("CREL_BUNDLE_DIR"))
    qputenv("CREL_BUNDLE_DIR", bundleDirectory);
  qputenv("QT_FONT_DPI", "96");
}

} // namespace crel::tools
