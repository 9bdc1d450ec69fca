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

// The process's end once the run wrote what it had to: returns `status` for
// the ordinary end, or, when start() saw a thread fail, ends the process
// here with it. Qt 6.4 counts a pool thread that failed to start as busy for
// good, and the application object's destructor waits for the pool without
// limit: the ordinary end would never come.
int finish(int status);

} // namespace crel::PoolThreads
