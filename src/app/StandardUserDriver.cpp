#include "StandardUserDriver.h"

#include "platform/base/Translate.h"
#include "platform/files/AppIdentity.h"
#include "update/framework/AppcastItem.h"
#include "update/framework/UpdateError.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <memory>

namespace crel {

namespace {

struct Choice {
  QString text;
  QDialogButtonBox::ButtonRole role;
  std::function<void()> run;
};

// A dialog with a heading, a sentence, optional notes and its buttons; each
// button runs its choice once and closes the dialog. The first is the default.
QDialog *buildDialog(const QString &heading, const QString &sentence, const QString *notes,
                     const std::vector<Choice> &choices) {
  auto *dialog = new QDialog;
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(AppIdentity::name());
  auto *layout = new QVBoxLayout(dialog);
  auto *title = new QLabel(heading, dialog);
  title->setObjectName(QStringLiteral("heading"));
  QFont font = title->font();
  font.setBold(true);
  title->setFont(font);
  title->setTextFormat(Qt::PlainText);
  layout->addWidget(title);
  if (!sentence.isEmpty()) {
    auto *text = new QLabel(sentence, dialog);
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    layout->addWidget(text);
  }
  if (notes && !notes->isEmpty()) {
    // Notes come from the feed: shown as text, never as a page that could
    // load anything.
    auto *browser = new QTextBrowser(dialog);
    browser->setOpenLinks(false);
    browser->setOpenExternalLinks(false);
    browser->setPlainText(*notes);
    browser->setMinimumSize(420, 200);
    layout->addWidget(browser);
  }
  auto *buttons = new QDialogButtonBox(dialog);
  for (const Choice &choice : choices) {
    QPushButton *button = buttons->addButton(choice.text, choice.role);
    // Return answers with the first choice.
    button->setDefault(&choice == &choices.front());
    QObject::connect(button, &QPushButton::clicked, dialog, [dialog, run = choice.run] {
      if (run)
        run();
      dialog->accept();
    });
  }
  layout->addWidget(buttons);
  return dialog;
}

} // namespace

StandardUserDriver::~StandardUserDriver() { delete dialog_.data(); }

QDialog *StandardUserDriver::dialog() const { return dialog_; }

void StandardUserDriver::present(QDialog *dialog) {
  if (dialog_)
    dialog_->close();
  dialog_ = dialog;
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

void StandardUserDriver::showUpdateFound(const update::AppcastItem &item, const update::UserUpdateState &,
                                         std::function<void(update::UpdateChoice)> reply) {
  using update::UpdateChoice;
  // Answered once: by a button, or as "later" when the dialog goes away.
  auto answer = std::make_shared<std::function<void(UpdateChoice)>>(std::move(reply));
  auto once = [answer](UpdateChoice choice) {
    if (const std::function<void(UpdateChoice)> r = std::exchange(*answer, nullptr))
      r(choice);
  };
  QDialog *dialog = buildDialog(
      crel::tr("A new version of %1 is available").arg(AppIdentity::name()),
      crel::tr("%1 %2 is available; you have %3.")
          .arg(AppIdentity::name(), item.displayVersionString, AppIdentity::version()),
      &item.releaseNotes,
      {{crel::tr("Install Update"), QDialogButtonBox::AcceptRole, [once] { once(UpdateChoice::install); }},
       {crel::tr("Remind Me Later"), QDialogButtonBox::RejectRole, [once] { once(UpdateChoice::later); }},
       {crel::tr("Skip This Version"), QDialogButtonBox::DestructiveRole, [once] { once(UpdateChoice::skip); }}});
  QObject::connect(dialog, &QObject::destroyed, [once] { once(UpdateChoice::later); });
  present(dialog);
}

void StandardUserDriver::showReadyToInstall(const update::AppcastItem &item) {
  present(buildDialog(crel::tr("Ready to install"),
                      crel::tr("%1 %2 is downloaded. Install it now, or it installs when you quit.")
                          .arg(AppIdentity::name(), item.displayVersionString),
                      &item.releaseNotes,
                      {{crel::tr("Install and Relaunch"), QDialogButtonBox::AcceptRole,
                        [this] {
                          if (installNow)
                            installNow();
                        }},
                       {crel::tr("Later"), QDialogButtonBox::RejectRole, {}}}));
}

void StandardUserDriver::showUpdateNotFound(const update::UpdateError &) {
  present(
      buildDialog(crel::tr("You’re up to date"),
                  crel::tr("%1 %2 is the newest version available.").arg(AppIdentity::name(), AppIdentity::version()),
                  nullptr, {{crel::tr("OK"), QDialogButtonBox::AcceptRole, {}}}));
}

void StandardUserDriver::showUpdaterError(const update::UpdateError &error) {
  present(buildDialog(crel::tr("Update failed: %1").arg(error.description()), QString(), nullptr,
                      {{crel::tr("OK"), QDialogButtonBox::AcceptRole, {}}}));
}

} // namespace crel
