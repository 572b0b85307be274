#pragma once
// The server client's intervals shortened, so that a test or a helper program
// sees ticks and uploads within seconds. Called from the test's thread before the
// clients are made.

#include "app/Settings.h"
#include "services/ServerThread.h"

namespace FastServerTiming {

// The tick and the transfer time-out shortened; uploads keep their real pauses.
inline ServerThread::Timing ticking(int tickMs, int transferTimeoutMs)
{
    ServerThread::Timing t;
    t.tickMs = tickMs;
    t.transferTimeoutMs = transferTimeoutMs;
    return t;
}

// Every pause between uploads `pauseMs`; a refused one waits up to half of it more.
inline void shortenUploads(ServerThread::Timing& t, int pauseMs)
{
    t.acceptedPauseMs = t.idlePauseMs = t.refusedPauseMs = pauseMs;
    t.refusedRandomMs = qMax(1, pauseMs / 2);
}

// The tick and every pause between uploads `ms`.
inline ServerThread::Timing uploading(int ms, int transferTimeoutMs)
{
    ServerThread::Timing t = ticking(ms, transferTimeoutMs);
    shortenUploads(t, ms);
    return t;
}

// For the hubs made after it: these intervals for their clients, and "isServer" 1.
inline bool enableForHubs(const ServerThread::Timing& timing)
{
    ServerThread::setDefaultTiming(timing);
    return Settings::writeValue(Settings::configPath(), "Server", "isServer", 1);
}

} // namespace FastServerTiming
