// The command line of kelm-quote-sim.
#ifndef KELM_TOOLS_SIM_CQUOTESIMCOMMANDLINE_H
#define KELM_TOOLS_SIM_CQUOTESIMCOMMANDLINE_H

#include <string>

#include "QuoteSimSettings.h"

class CQuoteSimCommandLine
{
public:
    enum class Outcome
    {
        Run,
        Help,   // the help or version text is in message
        Error,  // a one-line reason is in message
    };

    static Outcome Parse(int argc, const char* const argv[], QuoteSimSettings& settings, std::string& message);
};

#endif
