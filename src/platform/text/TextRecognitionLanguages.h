#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace crel {

// Which languages text recognition reads, chosen once for the application and
// its tools alike.
class TextRecognitionLanguages {
public:
  // The languages of the locale settings in `environment` (LANGUAGE, then
  // LC_ALL, LC_MESSAGES and LANG, first to last, read as written whether or
  // not the locale exists on this machine) whose recognition data
  // `dataFolder` holds, then English when it holds English; when it holds
  // none of those, the first few it holds, by name; "eng" when it holds
  // nothing. In Tesseract's form, as "deu+eng".
  static QString choose(const QProcessEnvironment &environment, const QString &dataFolder);

  // The folder Tesseract takes its data from in `environment`: TESSDATA_PREFIX
  // when set, else the first of the system's usual places that exists; empty
  // when there is none.
  static QString dataFolder(const QProcessEnvironment &environment);

  // Whether any of `languages` (Tesseract's form, "ara+eng") is written
  // right to left.
  static bool readsRightToLeft(const QString &languages);
};

} // namespace crel
