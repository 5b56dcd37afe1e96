// The command line of kelm-md-bridge.
#ifndef KELM_TOOLS_BRIDGE_CBRIDGECOMMANDLINE_H
#define KELM_TOOLS_BRIDGE_CBRIDGECOMMANDLINE_H

#include <string>

#include "BridgeOptions.h"

class CBridgeCommandLine
{
public:
    enum class Outcome
    {
        Run,
        Help,   // the help or version text is in message
        Error,  // a one-line reason is in message
    };

    static Outcome Parse(int argc, const char* const argv[], BridgeOptions& options, std::string& message);
};

#endif
