#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QVBoxLayout;

namespace crel {

// The keyboard-shortcuts guide: the capture shortcut, the tool keys, the
// keys the menus offer, the pixel-colour click and the editing gestures in
// short sections. The keyboard-shortcuts window and the editor's keyboard
// popover both show it. What changes at run time (the capture shortcut, the
// tools, the menus) comes from a source that is read again each time the
// guide is shown, so it never shows a stale shortcut.
class ShortcutGuideView : public QWidget {
  Q_OBJECT
public:
  struct Row {
    QString title;
    QString keys;
    QString symbol; // a Symbols name, or none
    friend bool operator==(const Row &, const Row &) = default;
  };
  struct Content {
    QString captureLine; // none when empty
    std::vector<Row> tools;
    std::vector<Row> menus;
    friend bool operator==(const Content &, const Content &) = default;
  };
  using Source = std::function<Content()>;

  explicit ShortcutGuideView(Source source, QWidget *parent = nullptr);

  // Reads the source and rebuilds the rows when anything changed.
  void refresh();
  const Content &content() const { return content_; }

protected:
  void showEvent(QShowEvent *event) override;

private:
  void build();

  Source source_;
  Content content_;
  bool built_ = false;
};

} // namespace crel
