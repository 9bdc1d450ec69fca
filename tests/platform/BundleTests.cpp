#include "platform/desktop/BundledFonts.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/ResourceLocator.h"
#include "platform/image/ImageDecoder.h"
#include "platform/text/ProcessTextRecognizer.h"
#include "platform/text/TextRecognitionError.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace crel;

using test::writeFile;

namespace {
struct BundleOverride {
  explicit BundleOverride(const QString &path) { ResourceLocator::setBundleDirectoryOverride(path); }
  ~BundleOverride() { ResourceLocator::setBundleDirectoryOverride({}); }
};
} // namespace

// CTest hands every suite the whole environment list, not only its first entry
// (QT_SCALE_FACTOR is the one TestMain does not set itself).
TEST(Bundle, EverySuiteGetsTheWholeTestEnvironment) {
  EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "offscreen");
  EXPECT_EQ(qgetenv("QT_SCALE_FACTOR"), "1");
  EXPECT_EQ(qgetenv("QT_FONT_DPI"), "96");
}

TEST(Bundle, TheBuiltBundleHoldsItsIdentityBrandAndFonts) {
  const QString bundle = ResourceLocator::bundleDirectory();
  ASSERT_FALSE(bundle.isEmpty());
  EXPECT_TRUE(bundle.endsWith("/Crel.app"));
  EXPECT_EQ(AppIdentity::name(), "Crel");
  EXPECT_EQ(AppIdentity::identifier(), "co.quorvex.crel");
  EXPECT_FALSE(ResourceLocator::resourcePath("brand", "json").isEmpty());
  EXPECT_TRUE(QFile::exists(bundle + "/Resources/fonts/DejaVuSans.ttf"));
  EXPECT_TRUE(QFile::exists(bundle + "/Resources/fonts/ComicNeue-Bold.otf"));
  EXPECT_TRUE(BundledFonts::hasFamily("Comic Neue"));
  EXPECT_TRUE(BundledFonts::hasFamily(BundledFonts::formalFamily()));
}

TEST(Bundle, IdentityReadsInfoJsonAndTheNameIsOneSafePathComponent) {
  struct Case {
    const char *folder;
    const char *info; // null: no Info.json file at all
    const char *name;
    std::optional<QString> identifier;
    const char *version;
  };
  const Case cases[] = {
      {"Crel.app",
       R"({"CFBundleDisplayName": "Crel", "CFBundleIdentifier": "a.b", "CFBundleShortVersionString": "2.1"})", "Crel",
       "a.b", "2.1"},
      {"Crel.app", R"({"CFBundleDisplayName": "Team/Shots", "CFBundleVersion": 3})", "Team-Shots", std::nullopt, ""},
      {"Shots.app", R"({"CFBundleDisplayName": "   "})", "Shots", std::nullopt, ""},
      {"Shots.app", R"({"CFBundleDisplayName": ".."})", "Crel", std::nullopt, ""},
      {"..app", R"({"CFBundleIdentifier": ""})", "Crel", std::nullopt, ""},
      {"Shots.app", R"(not json)", "Shots", std::nullopt, ""},
      {"My.Tool.app", R"({"CFBundleDisplayName": 7, "CFBundleIdentifier": "org.example.tool"})", "My.Tool",
       "org.example.tool", ""},
  };
  for (const Case &c : cases) {
    QTemporaryDir dir;
    const QString bundle = dir.filePath(c.folder);
    ASSERT_TRUE(QDir().mkpath(bundle));
    writeFile(bundle + "/Info.json", c.info);
    BundleOverride use(bundle);
    EXPECT_EQ(AppIdentity::name(), c.name) << c.info;
    EXPECT_EQ(AppIdentity::bundleIdentifier(), c.identifier) << c.info;
    EXPECT_EQ(AppIdentity::identifier(), c.identifier.value_or("co.quorvex.crel")) << c.info;
    EXPECT_EQ(AppIdentity::version(), c.version) << c.info;
  }
}

// A copy runs the helpers in its own bin/ and nothing else: without them, or
// without their run bit, a HEIC image is refused and recognition fails, even
// though this build's helpers are on the machine.
TEST(Bundle, ACopyRunsOnlyTheHelpersOfItsOwnBundle) {
  const QString built = ResourceLocator::bundleDirectory();
  const QByteArray heic = test::contents(CREL_SOURCE_DIR "/tests/app/heic/quadrants-800x500.heic");
  const QImage page = test::filledImage({200, 60}, Qt::white);
  const QFileDevice::Permissions readable = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  const struct {
    const char *name;
    bool present;
    QFileDevice::Permissions mode;
  } rows[] = {
      {"its own helpers", true, readable | QFileDevice::ExeOwner},
      {"no helpers", false, {}},
      {"helpers without their run bit", true, readable},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    const bool works = row.mode & QFileDevice::ExeOwner;
    QTemporaryDir dir;
    const QString bundle = dir.filePath("Copy.app");
    ASSERT_TRUE(QDir().mkpath(bundle + "/bin"));
    writeFile(bundle + "/Info.json", "{}");
    for (const char *helper : {"crel-heif-decoder", "crel-text-recognizer"}) {
      if (!row.present)
        continue;
      ASSERT_TRUE(QFile::copy(built + "/bin/" + helper, bundle + "/bin/" + helper));
      ASSERT_TRUE(QFile::setPermissions(bundle + "/bin/" + helper, row.mode));
    }
    BundleOverride use(bundle);
    EXPECT_EQ(ImageDecoder::decode(heic).size(), works ? QSize(800, 500) : QSize(0, 0));
    try {
      ProcessTextRecognizer().recognize(page);
      EXPECT_TRUE(works);
    } catch (const TextRecognitionError &error) {
      EXPECT_FALSE(works) << qPrintable(error.description());
      EXPECT_EQ(error.description(), "The text recognition helper crel-text-recognizer is missing. Reinstall Crel.");
    }
  }
}

// The icon is drawn at the device size asked for: its square's straight edges
// stay one hard step at every scale instead of an enlarged, soft pixmap.
TEST(Bundle, TheIconIsSharpAtEveryPixelDensity) {
  for (const double scale : {1.0, 1.5, 2.0, 3.0}) {
    const QImage image = AppIdentity::icon().pixmap(QSize(64, 64), scale).toImage();
    ASSERT_EQ(image.size(), QSize(64, 64) * scale) << scale;
    int soft = 0;
    for (int x = 0; x < image.width(); ++x) {
      const int alpha = image.pixelColor(x, image.height() / 2).alpha();
      soft += alpha > 16 && alpha < 240;
    }
    EXPECT_LE(soft, 2) << "scale " << scale;
  }
}
