#include "capture/CaptureSource.h"

#include <QTimeZone>

#include <gtest/gtest.h>

using crel::CaptureSource;
using crel::FakeWindowServerInfo;
using crel::RunningApplication;
using crel::WindowInfo;

TEST(SafeComponent, ReplacesUnsafeCharactersAndCollapsesSpaces) {
  struct Case {
    QString in;
    int limit;
    QString out;
  };
  const QString nbsp = QString(QChar(0x00a0));
  const QString emoji = QString::fromUcs4(U"\U0001F600"); // four UTF-8 bytes
  const QString combined = QString("e") + QChar(0x0301);  // one character of three bytes
  const Case cases[] = {
      {"a/b:c\\d", 120, "a b c d"},
      {"/ . / ..", 120, ""},
      {"..", 120, ""},
      {"  Report  v1.2  final. ", 120, "Report v1.2 final"},
      {"Tab\there\nand\r\nbreak", 120, "Tab here and break"},
      {QString("nul") + QChar(0) + "byte", 120, "nul byte"},
      {QString("evil") + QChar(0x202e) + "fdp.exe", 120, "evil fdp.exe"}, // bidi override
      {"no" + nbsp + "break", 120, "no" + nbsp + "break"},
      {"abcdé", 5, "abcd"},
      {"abc d", 4, "abc"},  // the cut ends after a space, which is trimmed too
      {"ab. .cd", 4, "ab"}, // "ab. " then the trim
      // A character is never split.
      {"a" + emoji, 5, "a" + emoji},
      {"ab" + emoji, 5, "ab"},
      {"abc" + combined, 5, "abc"},
      {"ab" + combined, 5, "ab" + combined},
      // The joiner of an emoji sequence is a format character: the parts remain.
      {QString::fromUcs4(U"\U0001F468\u200D\U0001F469"), 120, QString::fromUcs4(U"\U0001F468 \U0001F469")},
  };
  for (const Case &c : cases)
    EXPECT_EQ(CaptureSource::safeComponent(c.in, c.limit), c.out) << c.in.toStdString();
}

namespace {

QDateTime localTime() { return QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), QTimeZone::systemTimeZone()); }

} // namespace

TEST(FilenameStem, JoinsTitleApplicationAndLocalTimeOnA24HourClock) {
  const QDateTime utc(QDate(2026, 12, 31), QTime(23, 59, 58), QTimeZone::utc());
  const struct {
    CaptureSource source;
    QDateTime at;
    QString stem;
  } rows[] = {
      // The title already names the application (any case): it stands alone.
      {{"firefox", "Docs — Mozilla Firefox"},
       localTime(),
       QString::fromUtf8("Docs — Mozilla Firefox - 2026-03-04 05.06.07")},
      {{"", "Notes"}, localTime(), "Notes - 2026-03-04 05.06.07"},
      {{"///", " .. "}, localTime(), "Crel - 2026-03-04 05.06.07"},
      {{}, utc, "Crel - " + utc.toLocalTime().toString("yyyy-MM-dd HH.mm.ss")},
      {{}, QDateTime(QDate(2026, 1, 2), QTime(15, 4, 5), QTimeZone::systemTimeZone()), "Crel - 2026-01-02 15.04.05"},
  };
  for (const auto &row : rows)
    EXPECT_EQ(row.source.filenameStem(row.at), row.stem);
}

TEST(FilenameStem, StaysWellUnderTheFileNameLimit) {
  const QString longText(400, QChar(0x00e9)); // two bytes each
  const QString stem = CaptureSource{QString(100, QChar(0x00fc)), longText}.filenameStem(localTime());
  EXPECT_EQ(stem.toUtf8().size(), 120 + 3 + 40 + 3 + 19);
}

TEST(CurrentSource, TakesTheFrontTitledWindowOfTheApplication) {
  FakeWindowServerInfo server;
  server.windows = {
      {10, 42, 0, QString("")},          // untitled
      {11, 99, 0, QString("Other app")}, // another process
      {12, 42, 1, QString("Tooltip")},   // not an ordinary window
      {13, std::nullopt, 0, QString("No owner")},
      {14, 42, 0, std::nullopt},
      {15, 42, 0, QString("Report.txt")},
      {16, 42, 0, QString("Behind")},
  };
  const RunningApplication editor{42, "Editor", 15};
  EXPECT_EQ(CaptureSource::current(editor, server), (CaptureSource{"Editor", "Report.txt"}));

  const RunningApplication noWindows{7, "Idle", 0};
  EXPECT_EQ(CaptureSource::current(noWindows, server), (CaptureSource{"Idle", ""}));
  EXPECT_EQ(CaptureSource::current(std::nullopt, server), CaptureSource{});
}

TEST(CurrentSource, MatchesByWindowWhenTheApplicationNamesNoProcess) {
  FakeWindowServerInfo server;
  server.windows = {{20, std::nullopt, 0, QString("First")}, {21, std::nullopt, 0, QString("Mine")}};
  const RunningApplication anonymous{std::nullopt, "xterm", 21};
  EXPECT_EQ(CaptureSource::current(anonymous, server), (CaptureSource{"xterm", "Mine"}));
}
