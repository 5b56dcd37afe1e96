// Quote snapshots of a set of instruments whose prices follow a seeded
// random walk in whole ticks, inside the day's price limits, with ten price
// levels per side, volume, amount and open interest that move with it. Every
// step is a trade, kept on the instrument's day tape, from which the history
// answers of the trading day are made.
#ifndef KELM_TOOLS_SIM_CQUOTERANDOMWALK_H
#define KELM_TOOLS_SIM_CQUOTERANDOMWALK_H

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "quote/QuotRecord.h"
#include "CDayTape.h"
#include "QuoteSimSettings.h"

class CQuoteRandomWalk
{
public:
    // tradeDate: YYYY-MM-DD.
    CQuoteRandomWalk(const std::vector<SimInstrument>& instruments, uint64_t seed, const std::string& tradeDate);

    // Where the day's walk starts: the previous day's settlement and close
    // and its closing open interest, stable functions of the code and seed.
    struct Opening
    {
        double PreSettle;
        double PreClose;
        uint64_t PreOI;
    };
    static Opening OpeningOf(const std::string& code, uint64_t seed);

    // The session before the simulator started: WarmUpStepsPerMinute steps
    // a minute from SessionStart up to secondOfDay, as if it had been running.
    static constexpr int64_t SessionStart = 9 * 3600;
    static constexpr int WarmUpStepsPerMinute = 4;
    void WarmUp(int64_t secondOfDay);

    // Moves the instrument one step (a trade at the current time of day) and
    // writes its snapshot; false for an instrument outside the universe.
    bool Step(const std::string& code, QuotRecord& quote);
    // The current snapshot without moving.
    bool Snapshot(const std::string& code, QuotRecord& quote) const;
    // The trades of the day so far; null for an instrument outside the universe.
    const CDayTape* Tape(const std::string& code) const;

    // The previous settlement price of an instrument: a stable function of
    // its code and the seed, shared with the generated history.
    static double BasePrice(const std::string& code, uint64_t seed);
    static double TickSize(double price);
    static double RoundToTick(double price, double tick);
    // A seed for anything derived from one instrument.
    static uint64_t InstrumentSeed(const std::string& code, uint64_t seed);

private:
    struct Book
    {
        SimInstrument Instrument;
        double Tick = 1;
        double PreSettle = 0;
        double PreClose = 0;
        double Price = 0;
        double Open = 0;
        double High = 0;
        double Low = 0;
        uint64_t PreOI = 0;
        uint64_t OI = 0;
        uint64_t QtyTotal = 0;
        double Amount = 0;
        int32_t LastQty = 0;
        char Side = 'B';
        uint64_t Matches = 0;
        int32_t Depth[2][10] = {};  // bid and ask quantities per level
        std::mt19937_64 Random;
        CDayTape Tape;
    };

    static Opening DrawOpening(std::mt19937_64& random, const std::string& code, uint64_t seed);
    void Fill(const Book& book, QuotRecord& quote, int64_t secondOfDay) const;
    void Move(Book& book, int64_t secondOfDay);

    std::map<std::string, Book> m_books;
    std::string m_tradeDate;
};

#endif
