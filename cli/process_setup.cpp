// SPDX-License-Identifier: MIT
#include "cli/process_setup.h"

#include <csignal>

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include "vza/archive/fs/output_file.h"

namespace vza::cli {
namespace {

constexpr rlim_t MaxDescriptors = 65536;

sigset_t watched;

// Ends vza of signal as it would have ended without us: the action in force
// first (the default, or the password prompt's, which gives the terminal
// back and ends vza itself), then the default for one that returned.
[[noreturn]] void dieOf(int signal)
{
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(signal);
    std::signal(signal, SIG_DFL);
    raise(signal);
    _exit(128 + signal);
}

// The signal thread: waits, removes every named temporary once no thread is
// making or renaming one, and dies of what came.
void* waitForSignals(void*)
{
    int signal = 0;
    while (sigwait(&watched, &signal) != 0) {
    }
    holdOutputFilesAndRemovePending();
    dieOf(signal);
}

// Where no thread can be started: the cleanup from a handler, which cannot
// wait for the other threads (async-signal-safe, see output_file.h).
extern "C" void removeOutputsAndDie(int signal)
{
    removePendingOutputFiles();
    std::signal(signal, SIG_DFL);  // not this handler again
    dieOf(signal);
}

}  // namespace

void watchSignals()
{
    std::signal(SIGXFSZ, SIG_IGN);
    sigemptyset(&watched);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // A signal ignored by whoever started us stays ignored.
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
            sigaddset(&watched, signal);
    }
    // Blocked before any thread starts, so that every thread inherits the
    // mask and only the signal thread ever takes these signals.
    pthread_sigmask(SIG_BLOCK, &watched, nullptr);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const bool started = pthread_create(&thread, &attributes, waitForSignals, nullptr) == 0;
    pthread_attr_destroy(&attributes);
    if (started)
        return;
    struct sigaction action {};
    action.sa_handler = removeOutputsAndDie;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (sigismember(&watched, signal))
            sigaction(signal, &action, nullptr);
    }
    pthread_sigmask(SIG_UNBLOCK, &watched, nullptr);
}

void raiseDescriptorLimit()
{
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const rlim_t wanted =
        limit.rlim_max == RLIM_INFINITY || limit.rlim_max > MaxDescriptors ? MaxDescriptors : limit.rlim_max;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        limit.rlim_cur = wanted;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace vza::cli
