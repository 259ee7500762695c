// SPDX-License-Identifier: MIT
// What vza sets up for its process before any thread starts: how it meets
// signals, and how many descriptors it may open. The library never does
// either; only the program may.
#pragma once

namespace vza::cli {

// SIGINT, SIGTERM and SIGHUP (unless ignored by whoever started vza) are
// blocked in every thread from here on, and one thread of their own waits
// for them. When one comes it takes the library's registry of temporary
// names, waiting for any thread that is just making or renaming one, and
// removes every named temporary, so that none is left whatever the other
// threads are doing (see holdOutputFilesAndRemovePending); then it lets the
// signal end vza as it would have: the action in force runs (the default,
// or the password prompt's, which gives the terminal back first). Where no
// thread can be started, a handler does the cleanup as well as a handler
// can. SIGXFSZ is ignored: a write past `ulimit -f` then fails with EFBIG
// and is reported like a full disk, instead of killing vza silently with
// half a file. Call first thing in main, before any thread starts.
void watchSignals();

// Raises the soft limit on open descriptors to the hard one (at most
// 65 536), as many tools do: extraction shares what the limit allows
// between its threads, and more descriptors means fewer folders reopened.
void raiseDescriptorLimit();

}  // namespace vza::cli
