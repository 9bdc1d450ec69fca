#include "AppIdentity.h"

#include "ResourceLocator.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIconEngine>
#include <QJsonObject>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace crel {

namespace {

QString infoString(const char *key) {
  const QJsonValue value = ResourceLocator::infoDictionary().value(QLatin1String(key));
  return value.isString() ? value.toString() : QString();
}

// The fallback mark, drawn at whatever size is asked for, so it stays sharp
// at every scale instead of being enlarged from one small pixmap.
class DrawnMarkEngine final : public QIconEngine {
public:
  void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override {
    const double unit = std::min(rect.width(), rect.height()) / 64.0;
    const QPointF origin = QRectF(rect).center() - QPointF(32 * unit, 32 * unit);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(QColor(0x3a, 0x6e, 0xe8));
    painter->drawRoundedRect(QRectF(origin + QPointF(4, 4) * unit, QSizeF(56, 56) * unit), 12 * unit, 12 * unit);
    painter->setBrush(Qt::white);
    painter->drawEllipse(QRectF(origin + QPointF(20, 20) * unit, QSizeF(24, 24) * unit));
    painter->restore();
  }
  QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(&painter, QRect(QPoint(), size), mode, state);
    return pixmap;
  }
  QIconEngine *clone() const override { return new DrawnMarkEngine; }
};

QIcon drawnMark() { return QIcon(new DrawnMarkEngine); }

} // namespace

QString AppIdentity::pathSafeName(const QString &name) {
  QString safe = name;
  safe.replace(QChar(u'/'), QChar(u'-')).replace(QChar(u'\0'), QChar(u'-'));
  if (safe.trimmed().isEmpty() || safe == QLatin1String(".") || safe == QLatin1String(".."))
    return QStringLiteral("Crel");
  return safe;
}

QString AppIdentity::name() {
  QString raw;
  const QJsonValue display = ResourceLocator::infoDictionary().value("CFBundleDisplayName");
  if (display.isString() && !display.toString().trimmed().isEmpty())
    raw = display.toString();
  else if (const QString bundle = ResourceLocator::bundleDirectory(); !bundle.isEmpty())
    raw = QFileInfo(bundle).completeBaseName();
  else
    raw = QFileInfo(QFile::symLinkTarget("/proc/self/exe")).completeBaseName();
  return pathSafeName(raw);
}

QString AppIdentity::identifier() { return bundleIdentifier().value_or(QString::fromLatin1(defaultIdentifier)); }

std::optional<QString> AppIdentity::bundleIdentifier() {
  const QString id = infoString("CFBundleIdentifier");
  if (id.isEmpty())
    return std::nullopt;
  return id;
}

bool AppIdentity::isAcceptanceFixture() { return bundleIdentifier() == QLatin1String(fixtureIdentifier); }

QString AppIdentity::version() { return infoString("CFBundleShortVersionString"); }
QString AppIdentity::buildVersion() { return infoString("CFBundleVersion"); }

QStringList AppIdentity::iconFiles() {
  QStringList files;
  const QString theme = ResourceLocator::resourcesDirectory() + QStringLiteral("/icons/hicolor");
  for (const int side : iconSizes)
    if (const QString file = QStringLiteral("%1/%2x%2/apps/crel.png").arg(theme).arg(side); QFileInfo(file).isFile())
      files << file;
  return files;
}

QIcon AppIdentity::icon() {
  static const QIcon icon = [] {
    // Every rendered size, so each place picks the one drawn for it.
    QIcon rendered;
    for (const QString &file : iconFiles())
      rendered.addFile(file);
    if (!rendered.isNull() && !rendered.pixmap(64).isNull())
      return rendered;
    if (const QIcon window = QGuiApplication::windowIcon(); !window.isNull())
      return window;
    return drawnMark();
  }();
  return icon;
}

} // namespace crel
