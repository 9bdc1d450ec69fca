#pragma once

#include <QImage>
#include <QSize>

namespace crel::test {

// Pages the recognition engine finds hard, filled edge to edge: a tiny
// monospaced sentence repeated on every line, a terminal full of log lines,
// a spreadsheet grid of numbers; and, to compare them with, a page of
// ordinary prose. Needs a QGuiApplication.
enum class DensePage { tinyText, terminalLog, spreadsheet, prose };

QImage densePage(DensePage kind, QSize size);

} // namespace crel::test
