#include "LightPalette.h"

#include "ChromeColors.h"
#include "ChromeFonts.h"

#include <QApplication>
#include <QStyleFactory>
#include <QWidget>

namespace crel::LightPalette {

QPalette palette() {
  struct Role {
    QPalette::ColorRole role;
    QColor active, disabled;
  };
  const QColor primary = ChromeColors::primary();
  const QColor text(0x1D, 0x1D, 0x1F), dimText(0x1D, 0x1D, 0x1F, 0x55);
  const Role roles[] = {
      {QPalette::Window, QColor(0xEC, 0xEC, 0xEC), QColor(0xEC, 0xEC, 0xEC)},
      {QPalette::WindowText, text, dimText},
      {QPalette::Base, Qt::white, QColor(0xF6, 0xF6, 0xF6)},
      {QPalette::AlternateBase, QColor(0xF4, 0xF5, 0xF5), QColor(0xF4, 0xF5, 0xF5)},
      {QPalette::ToolTipBase, QColor(0x21, 0x21, 0x21), QColor(0x21, 0x21, 0x21)},
      {QPalette::ToolTipText, Qt::white, Qt::white},
      {QPalette::PlaceholderText, ChromeColors::tertiaryLabel(), ChromeColors::tertiaryLabel()},
      {QPalette::Text, text, dimText},
      {QPalette::Button, QColor(0xFB, 0xFB, 0xFB), QColor(0xF2, 0xF2, 0xF2)},
      {QPalette::ButtonText, text, dimText},
      {QPalette::BrightText, Qt::white, Qt::white},
      {QPalette::Light, Qt::white, Qt::white},
      {QPalette::Midlight, QColor(0xF5, 0xF5, 0xF5), QColor(0xF5, 0xF5, 0xF5)},
      {QPalette::Mid, QColor(0xB8, 0xB8, 0xB8), QColor(0xB8, 0xB8, 0xB8)},
      {QPalette::Dark, QColor(0x9E, 0x9E, 0x9E), QColor(0x9E, 0x9E, 0x9E)},
      {QPalette::Shadow, QColor(0x6B, 0x6B, 0x6B), QColor(0x6B, 0x6B, 0x6B)},
      {QPalette::Highlight, primary, QColor(0xC8, 0xC8, 0xC8)},
      {QPalette::HighlightedText, Qt::white, Qt::white},
      {QPalette::Link, primary, primary},
      {QPalette::LinkVisited, primary.darker(120), primary.darker(120)},
  };
  QPalette p;
  for (const Role &r : roles) {
    p.setColor(QPalette::Active, r.role, r.active);
    p.setColor(QPalette::Inactive, r.role, r.active);
    p.setColor(QPalette::Disabled, r.role, r.disabled);
  }
  return p;
}

void install(QApplication &app) {
  if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
    QApplication::setStyle(fusion);
  QApplication::setFont(ChromeFonts::applicationFont());
  app.setPalette(palette());
}

void apply(QWidget *window) {
  if (window)
    window->setPalette(palette());
}

} // namespace crel::LightPalette
