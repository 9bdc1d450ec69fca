#pragma once

namespace crel::PoolThreads {

// Qt hands parallel image work (conversion, smooth scaling, the raster
// engine's fills and draws) to QThreadPool::globalInstance() and waits for
// it; a task given to a pool thread that could not start (an address space
// short under `ulimit -v`) never runs, and that wait never ends. So the
// pool's threads all start once, early, with a small stack and no expiry,
// and stay: later Qt calls never need a new thread. Returns how many were
// seen running within `waitMs`; with none, anything that hands Qt parallel
// work may wait for good. Call once, before the pool is first used.
int start(int waitMs = 2000);

} // namespace crel::PoolThreads
