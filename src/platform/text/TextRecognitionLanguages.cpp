#include "TextRecognitionLanguages.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <algorithm>

namespace crel {

namespace {

// ISO 639-1 codes (and the old ones glibc still knows) to the names of
// Tesseract's data files, which mostly follow ISO 639-2/T.
const QHash<QString, QString> &twoLetterNames() {
  static const QHash<QString, QString> names{
      {"af", "afr"}, {"am", "amh"}, {"ar", "ara"}, {"as", "asm"}, {"az", "aze"}, {"be", "bel"}, {"bg", "bul"},
      {"bn", "ben"}, {"bo", "bod"}, {"br", "bre"}, {"bs", "bos"}, {"ca", "cat"}, {"co", "cos"}, {"cs", "ces"},
      {"cy", "cym"}, {"da", "dan"}, {"de", "deu"}, {"dv", "div"}, {"dz", "dzo"}, {"el", "ell"}, {"en", "eng"},
      {"eo", "epo"}, {"es", "spa"}, {"et", "est"}, {"eu", "eus"}, {"fa", "fas"}, {"fi", "fin"}, {"fo", "fao"},
      {"fr", "fra"}, {"fy", "fry"}, {"ga", "gle"}, {"gd", "gla"}, {"gl", "glg"}, {"gu", "guj"}, {"he", "heb"},
      {"hi", "hin"}, {"hr", "hrv"}, {"ht", "hat"}, {"hu", "hun"}, {"hy", "hye"}, {"id", "ind"}, {"in", "ind"},
      {"is", "isl"}, {"it", "ita"}, {"iu", "iku"}, {"iw", "heb"}, {"ja", "jpn"}, {"ji", "yid"}, {"jv", "jav"},
      {"ka", "kat"}, {"kk", "kaz"}, {"km", "khm"}, {"kn", "kan"}, {"ko", "kor"}, {"ku", "kmr"}, {"ky", "kir"},
      {"la", "lat"}, {"lb", "ltz"}, {"lo", "lao"}, {"lt", "lit"}, {"lv", "lav"}, {"mi", "mri"}, {"mk", "mkd"},
      {"ml", "mal"}, {"mn", "mon"}, {"mr", "mar"}, {"ms", "msa"}, {"mt", "mlt"}, {"my", "mya"}, {"nb", "nor"},
      {"ne", "nep"}, {"nl", "nld"}, {"nn", "nor"}, {"no", "nor"}, {"oc", "oci"}, {"or", "ori"}, {"pa", "pan"},
      {"pl", "pol"}, {"ps", "pus"}, {"pt", "por"}, {"qu", "que"}, {"ro", "ron"}, {"ru", "rus"}, {"sa", "san"},
      {"sd", "snd"}, {"si", "sin"}, {"sk", "slk"}, {"sl", "slv"}, {"sq", "sqi"}, {"sr", "srp"}, {"su", "sun"},
      {"sv", "swe"}, {"sw", "swa"}, {"ta", "tam"}, {"te", "tel"}, {"tg", "tgk"}, {"th", "tha"}, {"ti", "tir"},
      {"tl", "tgl"}, {"to", "ton"}, {"tr", "tur"}, {"tt", "tat"}, {"ug", "uig"}, {"uk", "ukr"}, {"ur", "urd"},
      {"uz", "uzb"}, {"vi", "vie"}, {"yi", "yid"}, {"yo", "yor"},
  };
  return names;
}

// At most this many languages are read when none the user speaks is installed.
constexpr qsizetype fallbackLanguages = 3;

bool installed(const QString &dataFolder, const QString &name) {
  return !dataFolder.isEmpty() && QFileInfo(dataFolder + QLatin1Char('/') + name + u".traineddata").isFile();
}

// Tesseract's name for the language of one locale name ("pt_BR.UTF-8" is
// "por", "sr_RS@latin" is "srp_latn"); empty for C, POSIX and the unknown.
QString tesseractName(const QString &locale) {
  // language[_territory][.codeset][@modifier]
  QString rest = locale.trimmed();
  QString modifier;
  if (const qsizetype at = rest.indexOf(u'@'); at >= 0) {
    modifier = rest.mid(at + 1).toLower();
    rest.truncate(at);
  }
  if (const qsizetype dot = rest.indexOf(u'.'); dot >= 0)
    rest.truncate(dot);
  const qsizetype underscore = rest.indexOf(u'_');
  const QString language = rest.left(underscore).toLower();
  const QString territory = underscore >= 0 ? rest.mid(underscore + 1).toUpper() : QString();
  if (language.isEmpty() || language == u"c" || language == u"posix")
    return {};
  if (language == u"zh")
    return territory == u"TW" || territory == u"HK" || territory == u"MO" || modifier == u"hant"
               ? QStringLiteral("chi_tra")
               : QStringLiteral("chi_sim");
  QString name = language.size() == 3 ? language : twoLetterNames().value(language);
  if (name.isEmpty())
    return {};
  // Languages written in two scripts have a data file for the second one.
  if ((name == u"srp" && modifier == u"latin") || ((name == u"uzb" || name == u"aze") && modifier == u"cyrillic"))
    name += modifier == u"latin" ? QStringLiteral("_latn") : QStringLiteral("_cyrl");
  return name;
}

} // namespace

QString TextRecognitionLanguages::choose(const QProcessEnvironment &environment, const QString &dataFolder) {
  QStringList locales = environment.value(QStringLiteral("LANGUAGE")).split(u':', Qt::SkipEmptyParts);
  for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
    locales << environment.value(QString::fromLatin1(variable));
  QStringList names;
  for (const QString &locale : locales) {
    const QString name = tesseractName(locale);
    if (!name.isEmpty() && !names.contains(name) && installed(dataFolder, name))
      names << name;
  }
  if (!names.contains(u"eng") && installed(dataFolder, QStringLiteral("eng")))
    names << QStringLiteral("eng");
  // None of those: any language is better than a recognition that cannot
  // start. A few, so that a folder of every language is not loaded whole
  // into each engine.
  if (names.isEmpty() && !dataFolder.isEmpty()) {
    for (const QFileInfo &file : QDir(dataFolder).entryInfoList({QStringLiteral("*.traineddata")}, QDir::Files,
                                                                QDir::Name)) {
      // Orientation and equations are not languages.
      if (const QString name = file.completeBaseName(); name != u"osd" && name != u"equ")
        names << name;
      if (names.size() == fallbackLanguages)
        break;
    }
  }
  // Nothing installed at all: English, whose missing data the engine names.
  if (names.isEmpty())
    names << QStringLiteral("eng");
  return names.join(u'+');
}

QString TextRecognitionLanguages::dataFolder(const QProcessEnvironment &environment) {
  if (const QString prefix = environment.value(QStringLiteral("TESSDATA_PREFIX")); !prefix.isEmpty())
    return QDir::cleanPath(prefix);
  for (const char *candidate : {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata",
                                "/usr/share/tessdata", "/usr/local/share/tessdata"})
    if (QFileInfo(QString::fromLatin1(candidate)).isDir())
      return QString::fromLatin1(candidate);
  return {};
}

bool TextRecognitionLanguages::readsRightToLeft(const QString &languages) {
  static const QStringList rightToLeft{"ara",     "heb",           "fas",           "urd",           "yid",
                                       "pus",     "snd",           "uig",           "div",           "syr",
                                       "kur_ara", "script/Arabic", "script/Hebrew", "script/Syriac", "script/Thaana"};
  const QStringList chosen = languages.split(u'+');
  return std::any_of(chosen.begin(), chosen.end(), [](const QString &l) { return rightToLeft.contains(l); });
}

} // namespace crel
