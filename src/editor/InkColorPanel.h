#pragma once

#include "document/CrelDocument.h"

#include <QColor>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class QColorDialog;

namespace crel {

// The desktop's colour chooser as the ink panel sees it: shown with a colour
// without reporting that colour back, and reporting every later change.
class ColorPanelBackend : public QObject {
  Q_OBJECT
public:
  // Sets the colour without emitting colorChanged and brings the panel to
  // the front without taking the keyboard.
  virtual void present(const QColor &color) = 0;

Q_SIGNALS:
  // Continuous: also while the user drags.
  void colorChanged(const QColor &color);
};

// One parentless QColorDialog without buttons or alpha, as a tool window
// shown without activation. QColorDialog reports a colour set by the
// program, so presenting blocks its signals.
class ColorDialogBackend : public ColorPanelBackend {
  Q_OBJECT
public:
  ColorDialogBackend();
  ~ColorDialogBackend() override;
  void present(const QColor &color) override;
  QColorDialog *dialog() const { return dialog_.get(); }

private:
  std::unique_ptr<QColorDialog> dialog_;
};

// The bridge between the one colour panel and one document at a time. Each
// reported colour becomes the document's custom ink inside a settling
// bracket; the bracket is committed as one undo step `settleMs` after the
// last change. Pending settles are kept per document: attaching another
// document, releasing a document and destroying the bridge commit them.
class InkColorPanel : public QObject {
  Q_OBJECT
public:
  static constexpr int defaultSettleMs = 500;

  explicit InkColorPanel(std::unique_ptr<ColorPanelBackend> backend, int settleMs = defaultSettleMs,
                         QObject *parent = nullptr);
  ~InkColorPanel() override;
  // The process's panel over the desktop's colour dialog, made on first use.
  static InkColorPanel &shared();

  ColorPanelBackend &backend() const { return *backend_; }
  CrelDocument *document() const { return document_; }
  bool isSettling(const CrelDocument &document) const;

  // Attaches the panel to `document` (committing another document's
  // pending colour first) and shows it with the document's ink.
  void open(CrelDocument &document);
  // Commits the document's pending colour now; detaches when attached to it.
  void release(CrelDocument &document);

private:
  void colorChanged(const QColor &color);
  void settle(const CrelDocument *document);

  std::unique_ptr<ColorPanelBackend> backend_;
  const int settleMs_;
  QPointer<CrelDocument> document_;
  struct Pending {
    QPointer<CrelDocument> document;
    QTimer *timer;
  };
  QHash<const CrelDocument *, Pending> pending_;
};

} // namespace crel
