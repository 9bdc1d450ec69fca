// Runs a fuzz target's entry point once over each file named (folders: every
// file inside, in name order), so the normal build replays the seed corpus
// and past crash inputs without clang or libFuzzer.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {
bool replayFile(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
    return false;
  }
  const QByteArray bytes = file.readAll();
  // A copy of exactly the file's size, so a read past the end is a sanitizer report.
  QByteArray exact(bytes.constData(), bytes.size());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(exact.constData()), size_t(exact.size()));
  return true;
}
} // namespace

int main(int argc, char **argv) {
  LLVMFuzzerInitialize(&argc, &argv);
  int replayed = 0;
  int unreadable = 0;
  for (int i = 1; i < argc; ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    QStringList files;
    if (QFileInfo(arg).isDir()) {
      const QDir dir(arg);
      for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
        files << dir.filePath(name);
    } else {
      files << arg;
    }
    for (const QString &path : files)
      replayFile(path) ? ++replayed : ++unreadable;
  }
  std::printf("%d passed, %d failed\n", replayed, unreadable);
  return replayed > 0 && unreadable == 0 ? 0 : 1;
}
