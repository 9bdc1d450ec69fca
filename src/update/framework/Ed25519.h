#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace crel::update {

// Ed25519 signatures (RFC 8032) over libsodium. A private key is kept as its
// 32-byte seed; keys and signatures of any other length never verify.
class Ed25519 {
public:
  static constexpr qsizetype seedSize = 32;
  static constexpr qsizetype publicKeySize = 32;
  static constexpr qsizetype signatureSize = 64;

  struct KeyPair {
    QByteArray seed;
    QByteArray publicKey;
    bool operator==(const KeyPair &) const = default;
  };

  static KeyPair generate();
  // Throws std::invalid_argument when the seed is not 32 bytes.
  static KeyPair fromSeed(QByteArrayView seed);

  static QByteArray sign(QByteArrayView message, QByteArrayView seed);
  static bool verify(QByteArrayView message, QByteArrayView signature, QByteArrayView publicKey);

  // Whole files, mapped rather than read: pure Ed25519 cannot stream, and an
  // archive may be large. Signing throws FileError when the file cannot be
  // read; verifying an unreadable file fails.
  static QByteArray signFile(const QString &path, QByteArrayView seed);
  static bool verifyFile(const QString &path, QByteArrayView signature, QByteArrayView publicKey);
};

} // namespace crel::update
