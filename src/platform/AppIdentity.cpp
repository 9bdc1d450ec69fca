#include "AppIdentity.h"

#include "ResourceLocator.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonObject>
#include <QPainter>
#include <QPixmap>

namespace crel {

namespace {

QString infoString(const char *key) {
  const QJsonValue value = ResourceLocator::infoDictionary().value(QLatin1String(key));
  return value.isString() ? value.toString() : QString();
}

QIcon drawnMark() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x3a, 0x6e, 0xe8));
  painter.drawRoundedRect(QRectF(4, 4, 56, 56), 12, 12);
  painter.setBrush(Qt::white);
  painter.drawEllipse(QRectF(20, 20, 24, 24));
  return QIcon(pixmap);
}

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

QIcon AppIdentity::icon() {
  static const QIcon icon = [] {
    for (const char *type : {"png", "svg"}) {
      const QString path = ResourceLocator::resourcePath(QStringLiteral("AppIcon"), QLatin1String(type));
      if (QIcon fromFile(path); !path.isEmpty() && !fromFile.pixmap(64).isNull())
        return fromFile;
    }
    if (const QIcon window = QGuiApplication::windowIcon(); !window.isNull())
      return window;
    return drawnMark();
  }();
  return icon;
}

} // namespace crel
