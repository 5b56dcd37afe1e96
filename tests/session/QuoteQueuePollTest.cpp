// A reader that polls the empty quote queue before it sleeps: it still ends
// its wait at its deadline, on an interrupt and at the close, however long
// it would poll, and no quote is lost or reordered between polling and
// sleeping, whichever side of the poll the next quote lands on.
#include <gtest/gtest.h>

#include <kelmmd/CQuoteQueue.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <random>
#include <thread>

#include "SessionTestSupport.h"

namespace
{

using namespace sessiontest;

MarketDepthRecord Numbered(int number)
{
    MarketDepthRecord quote;
    std::memset(&quote, 0, sizeof quote);
    quote.QtyTotal = number;
    return quote;
}

TEST(QuoteQueuePoll, ALongPollEndsAtTheDeadlineAtAnInterruptAndAtTheClose)
{
    kelmmd::CQuoteQueue queue(16, kelmmd::CQuoteQueue::Memory::TouchedUpFront, std::chrono::minutes(10));
    std::future<bool> timed = std::async(std::launch::async, [&] {
        MarketDepthRecord taken;
        return queue.Next(taken, 50ms);
    });
    ASSERT_TRUE(EndsWithin(timed, 5s)) << "deadline";
    EXPECT_FALSE(timed.get());

    for (bool close : {false, true})
    {
        std::future<bool> reader = std::async(std::launch::async, [&] {
            MarketDepthRecord taken;
            return queue.Next(taken, 600s);
        });
        std::this_thread::sleep_for(100ms);  // into its poll; less only weakens the test
        ASSERT_FALSE(EndsWithin(reader, 0ms));
        if (close)
            queue.Close();
        else
            queue.Interrupt();
        ASSERT_TRUE(EndsWithin(reader, 5s)) << (close ? "close" : "interrupt");
        EXPECT_FALSE(reader.get());
    }
}

TEST(QuoteQueuePoll, QuotesLandingDuringAndAfterThePollAllArriveInOrder)
{
    for (std::chrono::microseconds poll : {0us, 50us})
    {
        kelmmd::CQuoteQueue queue(8, kelmmd::CQuoteQueue::Memory::TouchedUpFront, poll);
        constexpr int kQuotes = 3000;
        std::atomic<bool> stop{false};
        // Pauses on both sides of the poll time, and runs of quotes without.
        std::thread producer([&] {
            std::mt19937 random(7);
            std::uniform_int_distribution<int> pause(0, 150);
            for (int i = 1; i <= kQuotes && !stop; ++i)
            {
                while (!queue.Push(Numbered(i)) && !stop)  // full: offered again (counted as a drop)
                    std::this_thread::yield();
                const int micros = pause(random);
                if (micros > 40)
                    std::this_thread::sleep_for(std::chrono::microseconds(micros));
            }
        });
        // A wake-up lost between polling and sleeping leaves a reader asleep
        // till its 60 s timeout: the whole run would overrun its limit.
        std::future<int> reader = std::async(std::launch::async, [&] {
            int expected = 1;
            MarketDepthRecord batch[4];
            while (expected <= kQuotes)
            {
                const std::size_t taken = queue.NextBatch(batch, expected % 2 ? 1 : 4, 60s);
                for (std::size_t i = 0; i < taken; ++i, ++expected)
                    if (batch[i].QtyTotal != expected)
                        return -expected;
                if (taken == 0)
                    return 0;
            }
            return expected - 1;
        });
        const bool ended = EndsWithin(reader, 50s);
        if (!ended)
        {
            stop = true;
            queue.Close();  // ends the stuck wait, so that the test can fail
        }
        producer.join();
        ASSERT_TRUE(ended) << "poll " << poll.count() << " us";
        EXPECT_EQ(kQuotes, reader.get()) << "poll " << poll.count() << " us";
    }
}

}  // namespace
