// crel-chrome-gallery [--scale N] <folder>: renders the chrome kit headless
// at N device pixels per point (1 by default) and writes
//   stage_900x600.png  the editor stage at the regular editor size
//   buttons.png        every button style in every state, and the switch
//   surfaces.png       the bar surface in each variant, and the readout's
//                      rounded surface

#include "chrome/AccessibilityOptions.h"
#include "chrome/BrandSwitch.h"
#include "chrome/BrandTextButton.h"
#include "chrome/ChromeButton.h"
#include "chrome/ChromeColors.h"
#include "chrome/ChromeDivider.h"
#include "chrome/ChromeFonts.h"
#include "chrome/ChromeSurface.h"
#include "chrome/LightPalette.h"
#include "chrome/Motion.h"
#include "chrome/PlainPressButton.h"
#include "chrome/PrimaryActionButton.h"
#include "chrome/SecondaryActionButton.h"
#include "chrome/StageWidget.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

using namespace crel;

namespace {

bool save(QWidget &root, const QString &path, double scale) {
  QImage image((QSizeF(root.size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(scale);
  image.fill(Qt::white);
  if (qEnvironmentVariableIsSet("GALLERY_SHOW")) {
    root.show();
    QCoreApplication::processEvents();
  }
  root.render(&image);
  if (!image.save(path)) {
    std::fprintf(stderr, "FAIL: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

void hover(QWidget *w) {
  QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
  QCoreApplication::sendEvent(w, &enter);
}

QLabel *caption(const QString &text, QWidget *parent, QPoint at, int width, Qt::Alignment align, bool strong = false) {
  auto *label = new QLabel(text, parent);
  label->setFont(ChromeFonts::font(strong ? 12 : 11.5, strong ? QFont::DemiBold : QFont::Normal));
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, strong ? ChromeColors::label() : ChromeColors::secondaryLabel());
  label->setPalette(p);
  label->setAlignment(align | Qt::AlignVCenter);
  label->setGeometry(at.x(), at.y(), width, 20);
  return label;
}

// A small pen glyph stands in for the bars' symbols until those exist.
void drawPen(QPainter &painter, const QRectF &rect, const QColor &color) {
  painter.save();
  painter.translate(rect.center());
  painter.rotate(-45);
  QPainterPath body;
  body.addRoundedRect(QRectF(-7, -2.2, 11, 4.4), 1.2, 1.2);
  body.moveTo(4.5, -2.2);
  body.lineTo(8, 0);
  body.lineTo(4.5, 2.2);
  body.closeSubpath();
  painter.setPen(QPen(color, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(body);
  painter.restore();
}

enum class State { normal, hovered, pressed, selected, disabled };
constexpr State states[] = {State::normal, State::hovered, State::pressed, State::selected, State::disabled};

void applyState(QAbstractButton *button, State state) {
  switch (state) {
  case State::normal: break;
  case State::hovered: hover(button); break;
  case State::pressed:
    hover(button);
    button->setDown(true);
    break;
  case State::selected:
    if (auto *chrome = qobject_cast<ChromeButton *>(button))
      chrome->setSelected(true);
    break;
  case State::disabled: button->setEnabled(false); break;
  }
}

bool writeButtons(const QString &folder, double scale) {
  const int labelWidth = 170, cellWidth = 150, rowHeight = 56, top = 56, left = 24;
  struct Row {
    QString name;
    bool selectable;
    std::function<QAbstractButton *(QWidget *)> make;
  };
  const std::vector<Row> rows = {
      {"Chrome button", true,
       [](QWidget *p) {
         auto *b = new ChromeButton("Formal", p);
         b->setFont(ChromeFonts::font(12, QFont::Medium));
         b->resize(68, 28);
         return b;
       }},
      {"Chrome icon button", true,
       [](QWidget *p) {
         auto *b = new ChromeButton(p);
         b->setCornerRadius(16);
         b->setContentPainter(drawPen);
         b->resize(32, 32);
         return b;
       }},
      {"Chrome, own selection", true,
       [](QWidget *p) {
         auto *b = new ChromeButton(p);
         b->setCornerRadius(16);
         b->setDrawsSelection(false);
         b->setContentPainter(drawPen);
         b->resize(32, 32);
         return b;
       }},
      {"Primary action", false,
       [](QWidget *p) {
         auto *b = new PrimaryActionButton("Copy", p);
         b->resize(b->sizeHint());
         return b;
       }},
      {"Primary, compact", false,
       [](QWidget *p) {
         auto *b = new PrimaryActionButton("Copy", p);
         b->setCompact(true);
         b->resize(b->sizeHint());
         return b;
       }},
      {"Secondary action", false,
       [](QWidget *p) {
         auto *b = new SecondaryActionButton("Not Now", p);
         b->resize(b->sizeHint());
         return b;
       }},
      {"Plain press", false,
       [](QWidget *p) {
         auto *b = new PlainPressButton(p);
         b->setContentPainter([](QPainter &painter, const QRectF &r) {
           painter.setPen(QPen(ChromeColors::black(0.14), 0.5));
           painter.setBrush(QColor(0xFF, 0x3B, 0x30));
           painter.drawEllipse(r.adjusted(4.25, 4.25, -4.25, -4.25));
         });
         b->resize(25, 25);
         return b;
       }},
      {"Brand text", false,
       [](QWidget *p) {
         auto *b = new BrandTextButton("Open Settings…", p);
         b->setFont(ChromeFonts::font(13, QFont::Medium));
         b->resize(b->sizeHint());
         return b;
       }},
  };
  const int switchRows = 2;
  StageWidget root;
  root.resize(left * 2 + labelWidth + cellWidth * 5, top + rowHeight * int(rows.size() + switchRows) + 12);
  const QStringList heads = {"Normal", "Hover", "Pressed", "Selected", "Disabled"};
  for (int c = 0; c < 5; ++c)
    caption(heads[c], &root, {left + labelWidth + c * cellWidth, 22}, cellWidth, Qt::AlignHCenter, true);
  auto dash = [&](QRect cell) {
    caption(QStringLiteral("–"), &root, {cell.x(), cell.center().y() - 10}, cellWidth, Qt::AlignHCenter);
  };
  for (int r = 0; r < int(rows.size()); ++r) {
    const int y = top + r * rowHeight;
    caption(rows[size_t(r)].name, &root, {left, y + rowHeight / 2 - 10}, labelWidth, Qt::AlignLeft);
    for (int c = 0; c < 5; ++c) {
      const QRect cell(left + labelWidth + c * cellWidth, y, cellWidth, rowHeight);
      if (states[c] == State::selected && !rows[size_t(r)].selectable) {
        dash(cell);
        continue;
      }
      QAbstractButton *b = rows[size_t(r)].make(&root);
      b->move(cell.center() - QPoint(b->width() / 2, b->height() / 2));
      applyState(b, states[c]);
    }
  }
  // The switch has no hover or pressed look: off and on, enabled and not.
  for (int on = 0; on < 2; ++on) {
    const int y = top + (int(rows.size()) + on) * rowHeight;
    caption(on ? "Switch, on" : "Switch, off", &root, {left, y + rowHeight / 2 - 10}, labelWidth, Qt::AlignLeft);
    for (int c = 0; c < 5; ++c) {
      const QRect cell(left + labelWidth + c * cellWidth, y, cellWidth, rowHeight);
      if (c != 0 && c != 4) {
        dash(cell);
        continue;
      }
      auto *s = new BrandSwitch(on ? "On" : "Off", &root);
      s->setFont(ChromeFonts::font(13));
      s->setChecked(on);
      s->setEnabled(c == 0);
      s->resize(110, 24);
      s->move(cell.center() - QPoint(55, 12));
    }
  }
  return save(root, folder + "/buttons.png", scale);
}

// A stand-in for a screenshot under the bars, so translucency shows.
class Backdrop : public StageWidget {
public:
  using StageWidget::StageWidget;

protected:
  void paintEvent(QPaintEvent *event) override {
    StageWidget::paintEvent(event);
    QPainter painter(this);
    const QRectF shot(250, 40, 300, height() - 80);
    painter.fillRect(shot, Qt::white);
    const QColor colors[] = {QColor(0x1E, 0x88, 0xE5), QColor(0x43, 0xA0, 0x47), QColor(0xF4, 0x51, 0x1E),
                             QColor(0x26, 0x32, 0x38)};
    for (int i = 0; i < 12; ++i)
      painter.fillRect(QRectF(shot.left() + 16, shot.top() + 18 + i * 26, 60 + (i * 37) % 170, 10), colors[i % 4]);
  }
};

bool writeSurfaces(const QString &folder, double scale) {
  Backdrop root;
  root.resize(900, 420);
  AccessibilityOptions plain, reduced;
  reduced.setSettingValue(true);
  struct Variant {
    QString name;
    AccessibilityOptions *options;
    bool preview;
  };
  const Variant variants[] = {{"Material (translucent stand-in)", &plain, false},
                              {"Opaque (preview rendering)", &plain, true},
                              {"Opaque (Reduce Transparency)", &reduced, false}};
  for (int i = 0; i < 3; ++i) {
    const int y = 56 + i * 96;
    caption(variants[i].name, &root, {40, y - 30}, 260, Qt::AlignLeft, true);
    auto *bar = new ChromeSurface(std::nullopt, &root, variants[i].options);
    bar->setPreviewRendering(variants[i].preview);
    int x = 4;
    for (int k = 0; k < 6; ++k) {
      if (k == 3) {
        auto *divider = new ChromeDivider(bar);
        divider->move(x, 11);
        x += divider->width();
      }
      auto *b = new ChromeButton(bar);
      b->setCornerRadius(16);
      b->setContentPainter(drawPen);
      b->setSelected(k == 1);
      b->setGeometry(x, 4, 32, 32);
      x += 34;
    }
    auto *copy = new PrimaryActionButton("Copy", bar);
    copy->setCompact(true);
    copy->move(x + 6, 7);
    bar->setGeometry(40, y, x + 6 + copy->width() + 7, 40);
  }
  caption("Readout (corner radius 10)", &root, {640, 26}, 240, Qt::AlignLeft, true);
  auto *readout = new ChromeSurface(10.0, &root, &plain);
  readout->setGeometry(640, 56, 170, 46);
  auto *hex = caption("#2F6BFF", readout, {12, 4}, 140, Qt::AlignLeft, true);
  hex->setFont(ChromeFonts::font(12, QFont::DemiBold));
  caption("sRGB · Alt-click to copy", readout, {12, 22}, 150, Qt::AlignLeft);
  return save(root, folder + "/surfaces.png", scale);
}

bool writeStage(const QString &folder, double scale) {
  StageWidget stage;
  stage.resize(900, 600);
  return save(stage, folder + "/stage_900x600.png", scale);
}

} // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("CREL_BUNDLE_DIR"))
    qputenv("CREL_BUNDLE_DIR", CREL_GALLERY_BUNDLE_DIR);
  qputenv("QT_FONT_DPI", "96");
  QApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  double scale = 1;
  if (const qsizetype i = args.indexOf("--scale"); i >= 0 && i + 1 < args.size()) {
    scale = args[i + 1].toDouble();
    args.remove(i, 2);
  }
  if (args.size() != 1 || scale <= 0) {
    std::fprintf(stderr, "usage: crel-chrome-gallery [--scale N] <folder>\n");
    return 2;
  }
  LightPalette::install(app);
  Motion::setEnabled(false);
  const QString folder = args[0];
  QDir().mkpath(folder);
  const bool ok = writeStage(folder, scale) && writeButtons(folder, scale) && writeSurfaces(folder, scale);
  return ok ? 0 : 1;
}
