#pragma once
// Ends the event loop on SIGINT, SIGTERM or SIGHUP, so that a program leaves as
// it does on a quit: a stand-in removes its link, a client makes its last flush.
// The handler only writes a byte into a socket pair; a notifier in the main
// thread reads it and quits the application. It also ignores SIGPIPE: a reader
// that went away (a closed stdout pipe) is a failed write, not the end.
// One per process, made and installed in the main thread after the
// QCoreApplication; destroyed after what must be torn down on the way out.

#include <QString>

#include <csignal>
#include <iterator>
#include <memory>

class QSocketNotifier;

class QuitOnSignal
{
public:
    QuitOnSignal();
    ~QuitOnSignal();
    QuitOnSignal(const QuitOnSignal&) = delete;
    QuitOnSignal& operator=(const QuitOnSignal&) = delete;

    // On failure *error says why and nothing is changed.
    bool install(QString* error);

private:
    static constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

    int m_pair[2] = {-1, -1}; // the handler writes into [1], the notifier reads [0]
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previous[std::size(Signals)]; // put back on destruction
};
