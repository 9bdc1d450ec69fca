#include "platform/files/FileError.h"
#include "support/TestSupport.h"
#include "update/framework/Ed25519.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace crel::update;

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

QByteArray flipped(QByteArray data, qsizetype bit) {
  data[bit / 8] = char(data[bit / 8] ^ (1 << (bit % 8)));
  return data;
}

// Every single-bit change of `data` that `verifies` still accepts.
template <class F> int acceptedFlips(const QByteArray &data, F verifies) {
  int accepted = 0;
  for (qsizetype bit = 0; bit < data.size() * 8; ++bit)
    accepted += verifies(flipped(data, bit)) ? 1 : 0;
  return accepted;
}

// RFC 8032, section 7.1, test 2 (an empty file is signed below).
TEST(Ed25519, RfcVectorSignsAndVerifiesAndNoSingleBitFlipPasses) {
  const QByteArray seed = hex("4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb");
  const QByteArray key = hex("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c"), message = hex("72");
  const QByteArray sig = hex("92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
                             "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00");
  EXPECT_EQ(Ed25519::fromSeed(seed).publicKey, key);
  EXPECT_EQ(Ed25519::sign(message, seed), sig);
  EXPECT_TRUE(Ed25519::verify(message, sig, key));

  EXPECT_EQ(acceptedFlips(sig, [&](const QByteArray &s) { return Ed25519::verify(message, s, key); }), 0);
  EXPECT_EQ(acceptedFlips(key, [&](const QByteArray &k) { return Ed25519::verify(message, sig, k); }), 0);
  EXPECT_EQ(acceptedFlips(message, [&](const QByteArray &m) { return Ed25519::verify(m, sig, key); }), 0);
  EXPECT_FALSE(Ed25519::verify(QByteArray(message).append('\0'), sig, key));
  EXPECT_FALSE(Ed25519::verify(message, sig.left(63), key));
  EXPECT_FALSE(Ed25519::verify(message, QByteArray(sig).append('\0'), key));
  EXPECT_FALSE(Ed25519::verify(message, sig, key.left(31)));
  EXPECT_FALSE(Ed25519::verify(message, sig, QByteArray(key).append('\0')));
  EXPECT_FALSE(Ed25519::verify(message, sig, QByteArray()));
}

// Releases are large files, signed and verified by the end-to-end update run.
TEST(Ed25519, FilesAreSignedAndVerifiedWhole) {
  QTemporaryDir dir;
  const Ed25519::KeyPair key = Ed25519::generate();
  const QString path = dir.filePath("file");
  crel::test::writeFile(path, {});
  const QByteArray sig = Ed25519::signFile(path, key.seed);
  EXPECT_EQ(sig, Ed25519::sign({}, key.seed));
  EXPECT_TRUE(Ed25519::verifyFile(path, sig, key.publicKey));
  crel::test::writeFile(path, "!"); // the empty file, one byte longer
  EXPECT_FALSE(Ed25519::verifyFile(path, sig, key.publicKey));
  EXPECT_FALSE(Ed25519::verifyFile(dir.filePath("missing"), sig, key.publicKey));
  EXPECT_THROW(Ed25519::signFile(dir.filePath("missing"), key.seed), crel::FileError);
}

} // namespace
