#pragma once

namespace crel::PoolThreads {

// Qt hands parallel image work (conversion, smooth scaling, the raster
// engine's fills and draws) to QThreadPool::globalInstance() and waits for
// it; its D-Bus connection (any window's accessibility asks for one) waits
// for a thread of its own. A thread that could not be created leaves such a
// wait without end, and Qt 6.4 keeps a pool thread's slot for good and waits
// for it at exit. So the threads are tried first, all alive at once: the
// pool's, with a small stack, and one of the default size, as Qt's D-Bus
// thread gets. Only when every one could be created does the pool start its
// threads, with no expiry, to stay: later Qt calls never need a new one.
// Returns whether they could; when not, the pool is left unstarted and the
// system would not give that many threads (memory or the limit on tasks). A
// thread slow to run counts as created. Call once, before any thread but the
// display connection's starts.
bool start();

} // namespace crel::PoolThreads
