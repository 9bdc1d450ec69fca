// crel-chrome-gallery [--scale N] <folder>: renders the chrome kit headless
// at N device pixels per point (1 by default) and writes
//   stage_900x600.png  the editor stage at the regular editor size
//   buttons.png        every button style in every state, and the switch
//   surfaces.png       the bar surface and the readout's rounded surface in
//                      each variant
//   symbols.png        every symbol at the sizes the bars use
//   kit.png            segmented controls, ink swatches, weight glyphs
//   hint.png           hover hints with and without a shortcut

#include "../ToolUsage.h"
#include "../WidgetPng.h"

#include "chrome/AccessibilityOptions.h"
#include "chrome/BrandSwitch.h"
#include "chrome/BrandTextButton.h"
#include "chrome/ChromeButton.h"
#include "chrome/ChromeColors.h"
#include "chrome/ChromeDivider.h"
#include "chrome/ChromeFonts.h"
#include "chrome/ChromeIconButton.h"
#include "chrome/ChromeSegmented.h"
#include "chrome/ChromeSurface.h"
#include "chrome/HintController.h"
#include "chrome/HintLayer.h"
#include "chrome/InkSwatch.h"
#include "chrome/LightPalette.h"
#include "chrome/Motion.h"
#include "chrome/PlainPressButton.h"
#include "chrome/PrimaryActionButton.h"
#include "chrome/SecondaryActionButton.h"
#include "chrome/ShortcutText.h"
#include "chrome/StageWidget.h"
#include "chrome/Symbols.h"
#include "chrome/WeightGlyph.h"

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
  if (qEnvironmentVariableIsSet("GALLERY_SHOW")) {
    root.show();
    QCoreApplication::processEvents();
  }
  return tools::renderToPng(root, path, scale);
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
    // The colour readout's rounded surface, in the same variant.
    auto *readout = new ChromeSurface(10.0, &root, variants[i].options);
    readout->setPreviewRendering(variants[i].preview);
    readout->setGeometry(640, y - 3, 170, 46);
    auto *hex = caption("#2F6BFF", readout, {12, 4}, 140, Qt::AlignLeft, true);
    hex->setFont(ChromeFonts::font(12, QFont::DemiBold));
    caption("sRGB · Alt-click to copy", readout, {12, 22}, 150, Qt::AlignLeft);
  }
  caption("Readout (corner radius 10)", &root, {640, 26}, 240, Qt::AlignLeft, true);
  return save(root, folder + "/surfaces.png", scale);
}

// Paints every symbol in a row per name: at 12, 13.5 and 14.5 (the bars'
// sizes) in the label colour, then at 14.5 in the selected colour.
class SymbolSheet : public StageWidget {
public:
  static constexpr int rowHeight = 30, nameWidth = 230, cell = 56;
  explicit SymbolSheet(const QStringList &names) : names_(names) {
    resize(2 * (24 + nameWidth + 4 * cell) + 24, 50 + rowHeight * int((names.size() + 1) / 2));
  }

protected:
  void paintEvent(QPaintEvent *event) override {
    StageWidget::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QStringList heads = {"12", "13.5", "14.5", "selected"};
    const int half = int((names_.size() + 1) / 2);
    for (int column = 0; column < 2; ++column) {
      const int x0 = 24 + column * (nameWidth + 4 * cell + 24);
      painter.setFont(ChromeFonts::font(11.5, QFont::DemiBold));
      painter.setPen(ChromeColors::label());
      for (int h = 0; h < 4; ++h)
        painter.drawText(QRectF(x0 + nameWidth + h * cell, 14, cell, 20), Qt::AlignCenter, heads[h]);
      for (int i = 0; i < half && column * half + i < names_.size(); ++i) {
        const QString &name = names_[column * half + i];
        const double y = 44 + i * rowHeight;
        painter.setFont(ChromeFonts::font(11.5));
        painter.setPen(ChromeColors::secondaryLabel());
        painter.drawText(QRectF(x0, y, nameWidth, rowHeight), Qt::AlignLeft | Qt::AlignVCenter, name);
        const double sizes[] = {12, 13.5, 14.5, 14.5};
        for (int k = 0; k < 4; ++k) {
          const QRectF box(x0 + nameWidth + k * cell, y, cell, rowHeight);
          Symbols::paint(painter, name, box, sizes[k], QFont::Medium,
                         k == 3 ? ChromeColors::primary() : ChromeColors::label());
        }
      }
    }
  }

private:
  QStringList names_;
};

bool writeSymbols(const QString &folder, double scale) {
  SymbolSheet sheet(Symbols::names());
  return save(sheet, folder + "/symbols.png", scale);
}

QWidget *placed(QWidget *w, int x, int y) {
  w->move(x, y);
  return w;
}

bool writeKit(const QString &folder, double scale) {
  StageWidget root;
  root.resize(760, 410);
  AccessibilityOptions plain;
  int y = 24;
  caption("Segmented controls", &root, {24, y}, 300, Qt::AlignLeft, true);
  y += 28;
  const QFont label = ChromeFonts::font(12, QFont::Medium);
  auto *style = new ChromeSegmented(&root);
  style->setOptions(ChromeSegmented::textOptions({"Formal", "Doodle"}, {"Formal", "Doodle"}, label),
                    ChromeSegmented::textPainter({"Formal", "Doodle"}, label));
  style->setSelection(0);
  style->setIdentifier(QStringLiteral("annotation-style"));
  style->resize(style->sizeHint());
  placed(style, 24, y);
  auto *modes = new ChromeSegmented(&root);
  const QStringList modeSymbols = {"text.word.spacing", "highlighter", "rectangle.dashed"};
  modes->setOptions({{"Smart text", 16}, {"Marker", 16}, {"Area", 16}},
                    [modeSymbols](QPainter &p, const QRectF &r, int i, bool, const QColor &c) {
                      Symbols::paint(p, modeSymbols[i], r, 12, QFont::Medium, c);
                    });
  modes->setSelection(1);
  modes->resize(modes->sizeHint());
  placed(modes, 190, y);
  auto *strength = new ChromeSegmented(&root);
  const QStringList strengths = {"Light", "Medium", "Strong", "Max"};
  strength->setOptions(ChromeSegmented::textOptions(strengths, strengths, label),
                       ChromeSegmented::textPainter(strengths, label));
  strength->resize(strength->sizeHint());
  placed(strength, 330, y);
  caption("(no selection)", &root, {330 + strength->width() + 10, y + 4}, 120, Qt::AlignLeft);
  y += 52;

  caption("Weight presets", &root, {24, y}, 300, Qt::AlignLeft, true);
  y += 28;
  const WeightGlyph::Kind kinds[] = {WeightGlyph::Kind::stroke, WeightGlyph::Kind::marker, WeightGlyph::Kind::dot,
                                     WeightGlyph::Kind::letter};
  const QStringList kindNames = {"Arrow, line, pen, shapes", "Highlight", "Step", "Text"};
  for (int k = 0; k < 4; ++k) {
    auto *weights = new ChromeSegmented(&root);
    QList<ChromeSegmented::Option> options;
    for (int i = 0; i < 4; ++i)
      options.append({QStringLiteral("Preset %1").arg(i + 1), 0});
    const WeightGlyph::Kind kind = kinds[k];
    weights->setOptions(options, [kind](QPainter &p, const QRectF &r, int i, bool, const QColor &c) {
      WeightGlyph::paint(p, r, kind, i, c);
    });
    weights->setSegmentWidth(28);
    weights->setSelection(k % 4);
    weights->resize(weights->sizeHint());
    placed(weights, 24 + k * 180, y + 22);
    caption(kindNames[k], &root, {24 + k * 180, y}, 170, Qt::AlignLeft);
  }
  y += 76;

  caption("Ink swatches", &root, {24, y}, 300, Qt::AlignLeft, true);
  y += 28;
  struct InkSample {
    QColor color;
    QString name;
    bool selected;
  };
  const InkSample inks[] = {
      {QColor(0xFF, 0x5A, 0x4E), "Coral", true},  {QColor(0xFF, 0xB0, 0x20), "Amber", false},
      {QColor(0x26, 0xE6, 0x66), "Mint", false},  {QColor(0x2F, 0x6B, 0xFF), "Blue", false},
      {QColor(0xB2, 0x66, 0xFF), "Lilac", false}, {QColor(0x1C, 0x1C, 0x1E), "Ink", false},
      {QColor(Qt::white), "White", true},         {QColor(0xFF, 0xF5, 0x9D), "Pale yellow", true},
  };
  auto *palette = new ChromeSurface(std::nullopt, &root, &plain);
  int x = 8;
  for (const InkSample &ink : inks) {
    auto *swatch = new InkSwatch(ink.color, ink.name, palette);
    swatch->setSelected(ink.selected);
    swatch->move(x, 6);
    x += 29;
  }
  auto *custom = new CustomInkSwatch(palette);
  custom->move(x, 6);
  x += 29;
  auto *customSet = new CustomInkSwatch(palette);
  customSet->setCurrent(QColor(0xF2, 0xF0, 0xE6));
  customSet->move(x, 6);
  x += 29;
  palette->setGeometry(24, y, x + 4, 37);
  caption("selected: Coral, White and Pale yellow (dark ring); then the custom swatch, empty and set", &root,
          {24, y + 44}, 700, Qt::AlignLeft);
  y += 88;

  caption("Weight glyphs", &root, {24, y}, 300, Qt::AlignLeft, true);
  y += 28;
  class GlyphRow : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent *) override {
      QPainter p(this);
      const WeightGlyph::Kind all[] = {WeightGlyph::Kind::stroke, WeightGlyph::Kind::marker, WeightGlyph::Kind::dot,
                                       WeightGlyph::Kind::letter};
      for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 4; ++i)
          WeightGlyph::paint(p, QRectF(k * 180 + i * 36, 0, 32, 32), all[k], i, ChromeColors::label());
    }
  };
  (new GlyphRow(&root))->setGeometry(24, y, 720, 32);
  return save(root, folder + "/kit.png", scale);
}

bool writeHints(const QString &folder, double scale) {
  StageWidget root;
  root.resize(520, 250);
  AccessibilityOptions plain;
  HintController top, bottom;
  auto *topBar = new ChromeSurface(std::nullopt, &root, &plain);
  topBar->setGeometry(90, 24, 2 * 32 + 8, 40);
  const struct {
    const char *symbol, *id, *title, *shortcut;
  } history[] = {{"arrow.uturn.backward", "undo", "Undo", "⌘Z"}, {"arrow.uturn.forward", "redo", "Redo", "⇧⌘Z"}};
  for (int i = 0; i < 2; ++i)
    placed(new ChromeIconButton(history[i].symbol, history[i].id,
                                {history[i].title, ShortcutText::forLinux(QString::fromUtf8(history[i].shortcut)),
                                 ChromeHint::Edge::bottom},
                                &top, topBar),
           4 + 32 * i, 4);
  auto *bottomBar = new ChromeSurface(std::nullopt, &root, &plain);
  bottomBar->setGeometry(300, 186, 3 * 32 + 8, 40);
  placed(new ChromeIconButton("minus", "zoom-out", {"Zoom out", ShortcutText::forLinux("⌘−"), ChromeHint::Edge::top},
                              &bottom, bottomBar),
         4, 4);
  placed(new ChromeIconButton("plus", "zoom-in", {"Zoom in", ShortcutText::forLinux("⌘+"), ChromeHint::Edge::top},
                              &bottom, bottomBar),
         36, 4);
  placed(new ChromeIconButton("keyboard", "shortcuts", {"Keyboard shortcuts", std::nullopt, ChromeHint::Edge::top},
                              &bottom, bottomBar),
         68, 4);
  top.setPreviewHint("redo");
  bottom.setPreviewHint("shortcuts");
  for (HintController *c : {&top, &bottom})
    (new HintLayer(*c, &root))->setGeometry(root.rect());
  return save(root, folder + "/hint.png", scale);
}

bool writeStage(const QString &folder, double scale) {
  StageWidget stage;
  stage.resize(900, 600);
  return save(stage, folder + "/stage_900x600.png", scale);
}

} // namespace

int main(int argc, char **argv) {
  tools::useHeadlessDefaults(CREL_GALLERY_BUNDLE_DIR);
  QApplication app(argc, argv);
  const auto args =
      tools::galleryArguments(app.arguments().mid(1), "usage: crel-chrome-gallery [--scale N] <folder>\n");
  if (!args)
    return 2;
  LightPalette::install(app);
  Motion::setEnabled(false);
  const QString folder = args->folder;
  const double scale = args->scale;
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "FAIL: cannot create %s\n", qPrintable(folder));
    return 1;
  }
  const bool ok = writeStage(folder, scale) && writeButtons(folder, scale) && writeSurfaces(folder, scale) &&
                  writeSymbols(folder, scale) && writeKit(folder, scale) && writeHints(folder, scale);
  return ok ? 0 : 1;
}
