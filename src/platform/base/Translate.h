#pragma once

#include <QCoreApplication>
#include <QString>

namespace crel {

// English text is the key; it shows as is when no translation is installed.
inline QString tr(const char *english) { return QCoreApplication::translate("Crel", english); }

} // namespace crel
