// Puts quotes read from several streams back into the order the bridge wrote
// them: by the time in their entry id, then by the bridge's number (seq).
// A read of many streams returns each stream's entries separately, and a
// stream cut at the read's COUNT may have earlier quotes still unread than
// another stream has handed over; those wait until the next read.
#ifndef KELM_TOOLS_REDIS_CQUOTESTREAMMERGER_H
#define KELM_TOOLS_REDIS_CQUOTESTREAMMERGER_H

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <tuple>
#include <vector>

#include <KelmRivoMdApi.h>

class CQuoteStreamMerger
{
public:
    struct Key
    {
        uint64_t Millis = 0;  // the time part of the entry id
        uint64_t Seq = 0;
        bool operator<(const Key& other) const
        {
            return std::tie(Millis, Seq) < std::tie(other.Millis, other.Seq);
        }
    };

    // The key of an entry with id "MILLIS-N" and the bridge's number seq.
    static Key KeyOf(std::string_view id, uint64_t seq);

    void Add(const Key& key, const MarketDepthRecord& quote);
    // Moves every quote up to limit (all of them without one) to out, in
    // order. The limit is the smallest last key among the streams whose read
    // was cut at the COUNT.
    void Take(const std::optional<Key>& limit, std::vector<MarketDepthRecord>& out);
    std::size_t Waiting() const { return m_waiting.size(); }

private:
    std::multimap<Key, MarketDepthRecord> m_waiting;
};

#endif
