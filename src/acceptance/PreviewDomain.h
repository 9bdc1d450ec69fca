#pragma once

#include "platform/files/SettingsStore.h"

#include <QString>

#include <memory>

namespace crel {

// A private settings file beside the standard one, named by a prefix and a
// new UUID, so a renderer never reads or writes the user's preferences. The
// file is removed when the domain goes out of scope, on every exit.
class PreviewDomain {
public:
  explicit PreviewDomain(const QString &prefix);
  ~PreviewDomain();
  PreviewDomain(const PreviewDomain &) = delete;
  PreviewDomain &operator=(const PreviewDomain &) = delete;

  SettingsStore &store() { return *store_; }
  const QString &name() const { return name_; }

  // The folder holding the standard settings file and every private domain.
  static QString folder();

private:
  QString name_;
  QString path_;
  std::unique_ptr<SettingsStore> store_;
};

} // namespace crel
