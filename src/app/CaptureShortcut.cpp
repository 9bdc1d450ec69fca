#include "CaptureShortcut.h"

#include "platform/files/JsonReader.h"
#include "platform/files/JsonWriter.h"
#include "platform/files/SettingsStore.h"
#include "platform/shortcuts/Keysym.h"

#include <algorithm>
#include <array>
#include <utility>

namespace crel {

namespace {

const QString kKey = QStringLiteral("captureShortcut");

constexpr quint32 kXShift = 0x1, kXControl = 0x4, kXMod1 = 0x8, kXMod4 = 0x40;

// In label order.
constexpr std::array<std::pair<quint32, quint32>, 4> kModifierMap{{
    {CaptureShortcut::command, kXControl},
    {CaptureShortcut::option, kXMod1},
    {CaptureShortcut::shift, kXShift},
    {CaptureShortcut::control, kXMod4},
}};

bool isRefusedKey(quint32 keysym) {
  using namespace keysym;
  return keysym == kReturn || keysym == kKeypadEnter || keysym == kTab || keysym == kLeftTab || keysym == kBackSpace ||
         keysym == kEscape || isModifier(keysym);
}

QString keyText(quint32 keysym) {
  const QString text = keysym::text(keysym);
  return text.isEmpty() ? keysym::name(keysym) : text;
}

// X key names have at most four characters, all printable ASCII.
bool isKeyName(const QString &key) {
  return key.size() <= 4 &&
         std::all_of(key.begin(), key.end(), [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; });
}

} // namespace

QString CaptureShortcut::label() const {
  static const char *const names[] = {"Ctrl+", "Alt+", "Shift+", "Super+"};
  QString result;
  for (size_t i = 0; i < kModifierMap.size(); ++i)
    if (modifiers & kModifierMap[i].first)
      result += QLatin1String(names[i]);
  // Keys that type nothing show their name; a character would be unprintable.
  if (keysym::text(keyCode).isEmpty()) {
    const QString name = keysym::name(keyCode);
    return result + (name.isEmpty() ? character : name);
  }
  return result + character.toUpper();
}

bool CaptureShortcut::isValid() const {
  return (modifiers & ~allModifiers) == 0 && (modifiers & (command | control)) != 0 && !isRefusedKey(keyCode) &&
         !keyText(keyCode).isEmpty() && isKeyName(key);
}

CaptureShortcut CaptureShortcut::typing(quint32 keysym) const {
  if (key.isEmpty() || isRefusedKey(keysym) || keyText(keysym).isEmpty())
    return *this;
  CaptureShortcut relabelled = *this;
  relabelled.keyCode = keysym;
  relabelled.character = keyText(keysym);
  return relabelled;
}

std::optional<CaptureShortcut> CaptureShortcut::from(quint32 keysym, quint32 mask, const QString &key) {
  CaptureShortcut shortcut{keysym, mask & allModifiers, keyText(keysym), key};
  if (!shortcut.isValid())
    return std::nullopt;
  return shortcut;
}

quint32 CaptureShortcut::xModifiers() const {
  quint32 x = 0;
  for (const auto &[bit, xBit] : kModifierMap)
    if (modifiers & bit)
      x |= xBit;
  return x;
}

quint32 CaptureShortcut::fromXModifiers(quint32 xState) {
  quint32 mask = 0;
  for (const auto &[bit, xBit] : kModifierMap)
    if (xState & xBit)
      mask |= bit;
  return mask;
}

QByteArray CaptureShortcut::toJson() const {
  JsonWriter writer;
  writer.beginObject();
  writer.field("keyCode", static_cast<long long>(keyCode));
  writer.field("modifiers", static_cast<long long>(modifiers));
  writer.field("character", character);
  if (!key.isEmpty())
    writer.field("key", key);
  writer.endObject();
  return writer.take();
}

std::optional<CaptureShortcut> CaptureShortcut::fromJson(const QByteArray &bytes) {
  try {
    const JsonObjectReader reader(json::parse(bytes), "CaptureShortcut");
    const long long keyCode = reader.required("keyCode", json::toInteger);
    const long long modifiers = reader.required("modifiers", json::toInteger);
    CaptureShortcut shortcut{quint32(keyCode), quint32(modifiers), reader.required("character", json::toString),
                             reader.optional("key", json::toString).value_or(QString())};
    if (keyCode != shortcut.keyCode || modifiers != shortcut.modifiers || !shortcut.isValid())
      return std::nullopt;
    if (shortcut.character.isEmpty())
      shortcut.character = keyText(shortcut.keyCode);
    return shortcut;
  } catch (const JsonDecodingError &) {
    return std::nullopt;
  }
}

CaptureShortcut CaptureShortcut::load(const SettingsStore &store) {
  const QVariant stored = store.value(kKey);
  if (stored.typeId() != QMetaType::QString && stored.typeId() != QMetaType::QByteArray)
    return defaultShortcut();
  return fromJson(stored.toByteArray()).value_or(defaultShortcut());
}

void CaptureShortcut::save(SettingsStore &store) const { store.setString(kKey, QString::fromUtf8(toJson())); }

} // namespace crel
