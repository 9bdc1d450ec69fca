#pragma once

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Shared by every fuzz target: built with libFuzzer's own driver under clang,
// or with ReplayMain.cpp in the normal build.
#define CREL_FUZZ_ENTRY                                                                                                \
  extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {                                                       \
    crel::fuzz::startApplication(argc, argv);                                                                          \
    return 0;                                                                                                          \
  }                                                                                                                    \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)

namespace crel::fuzz {

// Image format plugins are found through the application's library paths;
// helper programs in the bundle the target names, unless the caller names one.
inline void startApplication(int *argc, char ***argv) {
#ifdef CREL_FUZZ_BUNDLE_DIR
  if (qEnvironmentVariableIsEmpty("CREL_BUNDLE_DIR"))
    qputenv("CREL_BUNDLE_DIR", CREL_FUZZ_BUNDLE_DIR);
#endif
  static QCoreApplication app(*argc, *argv);
}

inline QByteArray bytes(const uint8_t *data, size_t size) {
  return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// A broken promise of the decoder under test: a crash the fuzzer keeps.
[[noreturn]] inline void fail(const char *what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// What `decode` reads from `input` (`Error`: refused) must write back to
// bytes that read and write to the same bytes again.
template <class Error, class Decode, class Encode>
void expectStableRoundTrip(const QByteArray &input, Decode decode, Encode encode) {
  decltype(decode(input)) first;
  try {
    first = decode(input);
  } catch (const Error &) {
    return;
  }
  const QByteArray written = encode(first);
  try {
    if (encode(decode(written)) != written)
      fail("writing a decoded value is not stable");
  } catch (const Error &e) {
    std::fprintf(stderr, "%s\n%s\n", written.constData(), e.what());
    fail("a decoded value does not decode after writing");
  }
}

} // namespace crel::fuzz
