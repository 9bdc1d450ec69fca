#pragma once

#include <QImage>
#include <QSize>

namespace crel::test {

// Pages the recognition engine finds hard, filled edge to edge: a tiny
// monospaced sentence repeated on every line, a terminal full of log lines,
// a spreadsheet grid of numbers. Needs a QGuiApplication.
enum class DensePage { tinyText, terminalLog, spreadsheet };

QImage densePage(DensePage kind, QSize size);

} // namespace crel::test
