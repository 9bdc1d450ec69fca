#include "Ed25519.h"

#include "platform/base/Translate.h"
#include "platform/files/FileError.h"

#include <QFile>

#include <sodium.h>

#include <stdexcept>

namespace crel::update {

namespace {

void ensureSodium() {
  static const int ready = sodium_init();
  if (ready < 0)
    throw std::runtime_error("libsodium could not be initialised");
}

auto bytes(QByteArrayView view) { return reinterpret_cast<const unsigned char *>(view.data()); }

// The expanded 64-byte secret key of a seed, wiped when it goes out of scope.
class SecretKey {
public:
  explicit SecretKey(QByteArrayView seed) {
    if (seed.size() != Ed25519::seedSize)
      throw std::invalid_argument("an Ed25519 seed has 32 bytes");
    ensureSodium();
    crypto_sign_seed_keypair(publicKey_, secret_, bytes(seed));
  }
  ~SecretKey() { sodium_memzero(secret_, sizeof secret_); }
  SecretKey(const SecretKey &) = delete;
  SecretKey &operator=(const SecretKey &) = delete;

  const unsigned char *secret() const { return secret_; }
  QByteArray publicKey() const { return QByteArray(reinterpret_cast<const char *>(publicKey_), sizeof publicKey_); }

private:
  unsigned char publicKey_[crypto_sign_PUBLICKEYBYTES];
  unsigned char secret_[crypto_sign_SECRETKEYBYTES];
};

// Runs `use` over the file's bytes (empty files included, which cannot be mapped).
template <class F> auto withFileBytes(QFile &file, F use) -> decltype(use(QByteArrayView())) {
  if (file.size() == 0)
    return use(QByteArrayView());
  const uchar *mapped = file.map(0, file.size());
  if (!mapped)
    return use(QByteArrayView(file.readAll()));
  auto result = use(QByteArrayView(reinterpret_cast<const char *>(mapped), file.size()));
  file.unmap(const_cast<uchar *>(mapped));
  return result;
}

} // namespace

Ed25519::KeyPair Ed25519::generate() {
  ensureSodium();
  QByteArray seed(seedSize, Qt::Uninitialized);
  randombytes_buf(seed.data(), std::size_t(seed.size()));
  return fromSeed(seed);
}

Ed25519::KeyPair Ed25519::fromSeed(QByteArrayView seed) {
  const SecretKey key(seed);
  return {seed.toByteArray(), key.publicKey()};
}

QByteArray Ed25519::sign(QByteArrayView message, QByteArrayView seed) {
  const SecretKey key(seed);
  QByteArray signature(signatureSize, Qt::Uninitialized);
  crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr, bytes(message),
                       std::size_t(message.size()), key.secret());
  return signature;
}

bool Ed25519::verify(QByteArrayView message, QByteArrayView signature, QByteArrayView publicKey) {
  if (signature.size() != signatureSize || publicKey.size() != publicKeySize)
    return false;
  ensureSodium();
  return crypto_sign_verify_detached(bytes(signature), bytes(message), std::size_t(message.size()), bytes(publicKey)) ==
         0;
}

QByteArray Ed25519::signFile(const QString &path, QByteArrayView seed) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw FileError(tr("The file “%1” couldn’t be read.").arg(path), path);
  return withFileBytes(file, [&](QByteArrayView data) { return sign(data, seed); });
}

bool Ed25519::verifyFile(const QString &path, QByteArrayView signature, QByteArrayView publicKey) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return false;
  return withFileBytes(file, [&](QByteArrayView data) { return verify(data, signature, publicKey); });
}

} // namespace crel::update
