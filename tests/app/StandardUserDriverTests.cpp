#include "app/StandardUserDriver.h"
#include "support/TestSupport.h"
#include "update/framework/AppcastItem.h"
#include "update/framework/UpdateError.h"

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

using namespace crel;
using update::UpdateChoice;

namespace {

update::AppcastItem item(const char *version, const char *notes) {
  update::AppcastItem i;
  i.version = i.displayVersionString = version;
  i.releaseNotes = notes;
  return i;
}

QPushButton *button(QDialog *dialog, const QString &text) {
  for (QPushButton *b : dialog->findChildren<QPushButton *>())
    if (b->text() == text)
      return b;
  return nullptr;
}

QString heading(QDialog *dialog) { return dialog->findChild<QLabel *>("heading")->text(); }

// Each way of leaving the offer answers it exactly once.
TEST(StandardUserDriver, UpdateFoundIsAnsweredOnce) {
  struct Case {
    const char *leave; // a button's text, a key, or "" to close the window
    std::vector<UpdateChoice> answers;
  } cases[] = {{"Install Update", {UpdateChoice::install}}, {"Remind Me Later", {UpdateChoice::later}},
               {"Skip This Version", {UpdateChoice::skip}}, {"Return", {UpdateChoice::install}},
               {"Escape", {UpdateChoice::later}},           {"", {UpdateChoice::later}}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.leave);
    StandardUserDriver driver;
    std::vector<UpdateChoice> answers;
    driver.showUpdateFound(item("2.1", "<img src=\"http://example.invalid/x.png\">Faster <b>saves</b>"), {},
                           [&](UpdateChoice choice) { answers.push_back(choice); });
    QDialog *dialog = driver.dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(heading(dialog).startsWith("A new version of "));
    // The notes are text: markup shows as typed and nothing is fetched.
    auto *notes = dialog->findChild<QTextBrowser *>();
    ASSERT_NE(notes, nullptr);
    EXPECT_EQ(notes->toPlainText(), "<img src=\"http://example.invalid/x.png\">Faster <b>saves</b>");
    EXPECT_FALSE(notes->openExternalLinks());
    if (const std::string key = c.leave; key == "Return" || key == "Escape")
      QTest::keyClick(dialog, key == "Return" ? Qt::Key_Return : Qt::Key_Escape);
    else if (*c.leave)
      button(dialog, c.leave)->click();
    else
      dialog->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(answers, c.answers);
    EXPECT_EQ(driver.dialog(), nullptr);
  }
}

TEST(StandardUserDriver, ANewDialogReplacesTheOpenOfferAsLater) {
  StandardUserDriver driver;
  std::vector<UpdateChoice> answers;
  driver.showUpdateFound(item("2.1", ""), {}, [&](UpdateChoice choice) { answers.push_back(choice); });
  EXPECT_EQ(driver.dialog()->findChild<QTextBrowser *>(), nullptr); // no notes, no pane
  driver.showUpdaterError(update::UpdateError(update::UpdateErrorCode::noUpdate, "The feed could not be read."));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(answers, std::vector<UpdateChoice>{UpdateChoice::later});
  EXPECT_EQ(heading(driver.dialog()), "Update failed: The feed could not be read.");
}

TEST(StandardUserDriver, ReadyToInstallInstallsOnlyWhenAsked) {
  StandardUserDriver driver;
  int installs = 0;
  driver.installNow = [&] { ++installs; };
  driver.showReadyToInstall(item("2.1", ""));
  button(driver.dialog(), "Later")->click();
  EXPECT_EQ(installs, 0);
  driver.showReadyToInstall(item("2.1", ""));
  button(driver.dialog(), "Install and Relaunch")->click();
  EXPECT_EQ(installs, 1);
  driver.showUpdateNotFound(update::UpdateError(update::UpdateErrorCode::noUpdate, ""));
  EXPECT_EQ(heading(driver.dialog()), "You’re up to date");
}

} // namespace
