// The instruments a simulator serves, from a comma-separated list of
// CODE or CODE@EXCHANGE entries.
#ifndef KELM_TOOLS_SIM_CINSTRUMENTUNIVERSE_H
#define KELM_TOOLS_SIM_CINSTRUMENTUNIVERSE_H

#include <string>
#include <vector>

#include "QuoteSimSettings.h"

class CInstrumentUniverse
{
public:
    static constexpr const char* DefaultList = "au2406@SIMX,ag2406@SIMX,cu2407@SIMX,rb2410@SIMX,IF2406@SIMF";
    static constexpr const char* DefaultExchange = "SIMX";

    // Throws std::invalid_argument naming the bad entry (empty code, code
    // over 15 or exchange over 16 characters, a duplicate).
    static std::vector<SimInstrument> Parse(const std::string& list);
};

#endif
