// The command line of kelm-md-watch.
#ifndef KELM_TOOLS_WATCH_CWATCHCOMMANDLINE_H
#define KELM_TOOLS_WATCH_CWATCHCOMMANDLINE_H

#include <string>

#include "WatchOptions.h"

class CWatchCommandLine
{
public:
    enum class Outcome
    {
        Run,
        Help,   // the help or version text is in message
        Error,  // a one-line reason is in message
    };

    // outputIsTerminal decides the default format: a table on a terminal,
    // CSV lines otherwise.
    static Outcome Parse(int argc, const char* const argv[], bool outputIsTerminal, WatchOptions& options,
                         std::string& message);

    // "tcp://HOST:PORT" or "tcp://[IPV6]:PORT" into host (without brackets)
    // and port text; false when there is no scheme or no port part.
    static bool SplitServer(const std::string& address, std::string& host, std::string& port);
    // Why an address cannot be used, or empty. The host is left to the
    // library, which refuses what it cannot resolve.
    static std::string CheckServer(const std::string& address);
};

#endif
