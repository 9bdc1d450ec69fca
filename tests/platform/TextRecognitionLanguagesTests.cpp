#include "platform/text/TextRecognitionLanguages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using namespace crel;

namespace {

// A data folder holding exactly the named languages.
QString dataFolder(QTemporaryDir &dir, const QStringList &installed) {
  for (const QString &name : installed) {
    QFile file(dir.filePath(name + ".traineddata"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  }
  return dir.path();
}

} // namespace

TEST(TextRecognitionLanguages, LocaleSettingsInOrderThenEnglishKeepingWhatIsInstalled) {
  const QStringList everything{"eng", "deu",      "fra",      "por", "chi_sim", "chi_tra",
                               "srp", "srp_latn", "uzb_cyrl", "nor", "spa",     "fil"};
  struct Row {
    std::map<QString, QString> variables;
    QStringList installed;
    QString expected;
  } rows[] = {
      {{}, everything, "eng"},
      {{{"LANG", "de_DE.UTF-8"}}, {"eng", "deu"}, "deu+eng"},
      {{{"LANG", "de_DE.UTF-8"}}, {"eng"}, "eng"},
      {{{"LANG", "de_DE.UTF-8"}}, {}, "eng"},
      // English only where its data is; with none of the chosen, whatever is there.
      {{{"LANG", "de_DE.UTF-8"}}, {"deu"}, "deu"},
      {{{"LANG", "C"}}, {"deu"}, "deu"},
      {{{"LANG", "fr_FR.UTF-8"}}, {"spa", "osd", "deu"}, "deu+spa"},
      {{{"LANG", "C"}}, {"osd"}, "eng"},
      {{{"LANG", "C.UTF-8"}, {"LC_ALL", "POSIX"}, {"LC_MESSAGES", "C"}}, everything, "eng"},
      {{{"LANGUAGE", "pt_BR:fr"}, {"LC_ALL", "es_ES.UTF-8"}, {"LC_MESSAGES", "de_AT"}, {"LANG", "zh_CN.GB2312"}},
       everything,
       "por+fra+spa+deu+chi_sim+eng"},
      {{{"LANGUAGE", "en_GB:de"}, {"LANG", "de_DE.UTF-8"}}, everything, "eng+deu"},
      {{{"LANGUAGE", "de_CH:de:fr_CA"}, {"LANG", "fr_FR.UTF-8"}}, {"eng", "fra"}, "fra+eng"},
      {{{"LANGUAGE", ":::"}, {"LANG", "fr_FR@euro"}}, everything, "fra+eng"},
      {{{"LANG", "zh_TW.UTF-8"}}, everything, "chi_tra+eng"},
      {{{"LANG", "zh_HK"}}, everything, "chi_tra+eng"},
      {{{"LANG", "sr_RS@latin"}}, everything, "srp_latn+eng"},
      {{{"LANG", "sr_RS.UTF-8"}}, everything, "srp+eng"},
      {{{"LANG", "uz_UZ.UTF-8@cyrillic"}}, everything, "uzb_cyrl+eng"},
      {{{"LANGUAGE", "nb_NO:nn_NO"}}, everything, "nor+eng"},
      {{{"LANG", "fil_PH.UTF-8"}}, everything, "fil+eng"},
      {{{"LANG", "xx_YY.UTF-8"}}, everything, "eng"},
      // A folder that is not there holds nothing.
      {{{"LANG", "fr_FR.UTF-8"}}, {"none"}, "eng"},
  };
  for (const Row &row : rows) {
    QTemporaryDir dir;
    QString folder = dataFolder(dir, row.installed);
    if (row.installed == QStringList{"none"})
      folder = dir.filePath("missing");
    QProcessEnvironment environment;
    QString described;
    for (const auto &[name, value] : row.variables) {
      environment.insert(name, value);
      described += name + '=' + value + ' ';
    }
    EXPECT_EQ(TextRecognitionLanguages::choose(environment, folder), row.expected)
        << qPrintable(described) << "with " << qPrintable(row.installed.join(','));
  }
}

TEST(TextRecognitionLanguages, TheDataFolderIsTheOneTesseractIsPointedAt) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir("tessdata"));
  QFile data(dir.filePath("tessdata/deu.traineddata"));
  ASSERT_TRUE(data.open(QIODevice::WriteOnly));
  QProcessEnvironment environment;
  environment.insert("TESSDATA_PREFIX", dir.path() + "/tessdata/");
  environment.insert("LANG", "de_DE.UTF-8");
  const QString folder = TextRecognitionLanguages::dataFolder(environment);
  EXPECT_EQ(folder, dir.path() + "/tessdata");
  EXPECT_EQ(TextRecognitionLanguages::choose(environment, folder), "deu");
}
