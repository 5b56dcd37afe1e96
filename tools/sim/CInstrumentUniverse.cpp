#include "CInstrumentUniverse.h"

#include <set>
#include <sstream>
#include <stdexcept>

std::vector<SimInstrument> CInstrumentUniverse::Parse(const std::string& list)
{
    std::vector<SimInstrument> out;
    std::set<std::string> seen;
    std::istringstream in(list);
    std::string entry;
    while (std::getline(in, entry, ','))
    {
        if (entry.empty())
            continue;
        SimInstrument instrument;
        const auto at = entry.find('@');
        instrument.Code = entry.substr(0, at);
        instrument.Exchange = at == std::string::npos ? DefaultExchange : entry.substr(at + 1);
        if (instrument.Code.empty() || instrument.Code.size() > 15 || instrument.Exchange.empty() ||
            instrument.Exchange.size() > 16)
            throw std::invalid_argument("bad instrument '" + entry + "' (CODE of 1-15 characters, @EXCHANGE of 1-16)");
        if (!seen.insert(instrument.Code).second)
            throw std::invalid_argument("instrument '" + instrument.Code + "' listed twice");
        out.push_back(instrument);
    }
    if (out.empty())
        throw std::invalid_argument("no instruments given");
    return out;
}
