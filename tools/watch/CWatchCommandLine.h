// The command line of kelm-md-watch.
#ifndef KELM_TOOLS_WATCH_CWATCHCOMMANDLINE_H
#define KELM_TOOLS_WATCH_CWATCHCOMMANDLINE_H

#include <string>

#include "tools/watch/WatchOptions.h"

class CWatchCommandLine
{
public:
    enum class Outcome
    {
        Run,
        Help,   // the help text is in message
        Error,  // a one-line reason is in message
    };

    // outputIsTerminal decides the default format: a table on a terminal,
    // CSV lines otherwise.
    static Outcome Parse(int argc, const char* const argv[], bool outputIsTerminal, WatchOptions& options,
                         std::string& message);

    // "tcp://HOST:PORT" with a non-empty host and a port of 1 to 65535.
    static bool ValidServer(const std::string& address);
};

#endif
