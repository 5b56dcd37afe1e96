#include <cstring>

#include <gtest/gtest.h>

#include "tools/redis/CQuoteStreamMerger.h"

namespace
{

MarketDepthRecord Quote(int number)
{
    MarketDepthRecord quote;
    std::memset(&quote, 0, sizeof quote);
    quote.QtyTotal = number;
    return quote;
}

std::vector<int> Numbers(const std::vector<MarketDepthRecord>& quotes)
{
    std::vector<int> numbers;
    for (const MarketDepthRecord& quote : quotes)
        numbers.push_back(quote.QtyTotal);
    return numbers;
}

}  // namespace

// Two streams read with COUNT 2: stream A holds seq 1, 3, 5, 7 and stream B
// seq 2, 4, 6; the first read cuts A after 3, so B's 4 and 6 must wait.
TEST(QuoteStreamMerger, QuotesComeInWrittenOrderAndWaitForACutStream)
{
    CQuoteStreamMerger merger;
    std::vector<MarketDepthRecord> out;
    merger.Add(CQuoteStreamMerger::KeyOf("100-0", 1), Quote(1));
    merger.Add(CQuoteStreamMerger::KeyOf("100-1", 3), Quote(3));
    merger.Add(CQuoteStreamMerger::KeyOf("100-0", 2), Quote(2));
    merger.Add(CQuoteStreamMerger::KeyOf("101-0", 4), Quote(4));
    merger.Add(CQuoteStreamMerger::KeyOf("101-1", 6), Quote(6));
    merger.Take(CQuoteStreamMerger::KeyOf("100-1", 3), out);
    EXPECT_EQ((std::vector<int>{1, 2, 3}), Numbers(out));
    EXPECT_EQ(2u, merger.Waiting());

    merger.Add(CQuoteStreamMerger::KeyOf("101-0", 5), Quote(5));
    merger.Add(CQuoteStreamMerger::KeyOf("102-0", 7), Quote(7));
    merger.Take(std::nullopt, out);
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5, 6, 7}), Numbers(out));
    EXPECT_EQ(0u, merger.Waiting());

    // The time of the id comes first: a bridge started again counts from 1.
    out.clear();
    merger.Add(CQuoteStreamMerger::KeyOf("200-0", 1), Quote(11));
    merger.Add(CQuoteStreamMerger::KeyOf("150-3", 900), Quote(10));
    merger.Take(std::nullopt, out);
    EXPECT_EQ((std::vector<int>{10, 11}), Numbers(out));
}
