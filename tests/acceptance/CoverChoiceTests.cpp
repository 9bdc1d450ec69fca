#include "acceptance/LiveWindowServer.h"

#include <gtest/gtest.h>

using namespace crel;

// Only another program's opaque, normal window at least as large as needed
// may hide the editor; the first such window front to back is the cover.
TEST(CoverChoice, TheFrontmostFittingForeignOpaqueWindowCovers) {
  using C = LiveWindowServer::Candidate;
  const QSize needed(980, 705);
  const qint64 own = 4242;
  const C big{1, 0, 1.0, 77, {0, 0, 1400, 900}};
  const struct {
    const char *name;
    std::vector<C> windows;
    std::optional<quint32> cover;
  } cases[] = {
      {"none", {}, std::nullopt},
      {"one fitting window", {big}, 1},
      {"exactly the size needed", {{2, 0, 1.0, 77, {10, 10, 980, 705}}}, 2},
      {"one pixel too narrow", {{2, 0, 1.0, 77, {0, 0, 979, 900}}}, std::nullopt},
      {"one pixel too low", {{2, 0, 1.0, 77, {0, 0, 1400, 704}}}, std::nullopt},
      {"our own window", {{2, 0, 1.0, own, {0, 0, 1400, 900}}, big}, 1},
      {"translucent", {{2, 0, 0.95, 77, {0, 0, 1400, 900}}, big}, 1},
      {"kept above", {{2, 1, 1.0, 77, {0, 0, 1400, 900}}, big}, 1},
      {"without a pid", {{2, 0, 1.0, std::nullopt, {0, 0, 1400, 900}}, big}, 2},
      {"front to back", {{3, 0, 1.0, 78, {0, 0, 2000, 1000}}, big}, 3},
  };
  for (const auto &c : cases) {
    const auto cover = LiveWindowServer::chooseCover(c.windows, needed, own);
    EXPECT_EQ(cover ? std::optional<quint32>(cover->window) : std::nullopt, c.cover) << c.name;
  }
}
