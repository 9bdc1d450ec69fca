#pragma once

namespace crel {

// Handles of a selected mark; never stored.
enum class MarkHandle { start, end, topLeft, topRight, bottomLeft, bottomRight, rotation };

} // namespace crel
