#include "CQuoteStreamMerger.h"

#include <charconv>

CQuoteStreamMerger::Key CQuoteStreamMerger::KeyOf(std::string_view id, uint64_t seq)
{
    Key key;
    key.Seq = seq;
    std::from_chars(id.data(), id.data() + id.size(), key.Millis);
    return key;
}

void CQuoteStreamMerger::Add(const Key& key, const MarketDepthRecord& quote)
{
    m_waiting.emplace(key, quote);
}

void CQuoteStreamMerger::Take(const std::optional<Key>& limit, std::vector<MarketDepthRecord>& out)
{
    auto end = limit ? m_waiting.upper_bound(*limit) : m_waiting.end();
    for (auto it = m_waiting.begin(); it != end; ++it)
        out.push_back(it->second);
    m_waiting.erase(m_waiting.begin(), end);
}
