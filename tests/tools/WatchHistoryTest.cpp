// kelm-md-watch --history as a process against kelm-quote-sim processes:
// one line per record, fields that parse and agree across the three kinds
// of history, and the exit statuses of refusals.
#include <cstdio>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "sim/SimProcess.h"

namespace
{

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        parts.push_back(part);
    return parts;
}

struct WatchRun
{
    int Status;
    std::vector<std::string> Lines;  // standard output
    std::string Errors;
};

WatchRun Watch(const std::vector<std::string>& args)
{
    const std::string errorFile = simtest::TempPath("watch_history_errors.txt");
    simtest::Process watcher(KELM_MD_WATCH_PATH, args, false, errorFile);
    WatchRun run{0, Split(watcher.ReadAll(), '\n'), ""};
    run.Status = watcher.Wait();
    std::ifstream errors(errorFile);
    run.Errors.assign(std::istreambuf_iterator<char>(errors), std::istreambuf_iterator<char>());
    std::remove(errorFile.c_str());
    return run;
}

class WatchHistory : public ::testing::Test
{
protected:
    WatchHistory()
        : m_sim(KELM_QUOTE_SIM_PATH, {"--quiet", "--user", "U:P", "--trade-date", "2026-12-09"}),
          m_server("tcp://" + m_sim.ReadLine())
    {
    }

    WatchRun History(const std::string& kind, std::vector<std::string> args)
    {
        std::vector<std::string> all = {"--server", m_server, "--user", "U", "--password", "P", "--history", kind};
        all.insert(all.end(), args.begin(), args.end());
        return Watch(all);
    }

    simtest::Process m_sim;
    const std::string m_server;
};

// The fields of the CSV lines after the header, each checked for count.
std::vector<std::vector<std::string>> Rows(const WatchRun& run, const std::string& header)
{
    std::vector<std::vector<std::string>> rows;
    EXPECT_FALSE(run.Lines.empty()) << run.Errors;
    if (run.Lines.empty())
        return rows;
    EXPECT_EQ(header, run.Lines[0]);
    const std::size_t fields = Split(header, ',').size();
    for (std::size_t i = 1; i < run.Lines.size(); ++i)
    {
        rows.push_back(Split(run.Lines[i], ','));
        EXPECT_EQ(fields, rows.back().size()) << run.Lines[i];
    }
    return rows;
}

long long Sum(const std::vector<std::vector<std::string>>& rows, std::size_t column)
{
    return std::accumulate(rows.begin(), rows.end(), 0LL, [column](long long sum, const auto& row) {
        return sum + std::stoll(row.at(column));
    });
}

TEST_F(WatchHistory, DayMinuteAndTradeLinesAgreeWithEachOther)
{
    const WatchRun days = History("day", {"--from", "20261201", "--to", "20261208", "--format", "csv", "au2406"});
    ASSERT_EQ(0, days.Status) << days.Errors;
    const auto dayRows =
        Rows(days, "InstrumentID,ExchangeID,Date,OpenPrice,HighestPrice,LowestPrice,ClosePrice,QtyTotal,OI,Amount");
    ASSERT_EQ(6u, dayRows.size());
    const char* weekdays[] = {"20261201", "20261202", "20261203", "20261204", "20261207", "20261208"};
    for (std::size_t i = 0; i < dayRows.size(); ++i)
    {
        const std::vector<std::string>& row = dayRows[i];
        EXPECT_EQ("au2406", row[0]);
        EXPECT_EQ(weekdays[i], row[2]);
        const double open = std::stod(row[3]), high = std::stod(row[4]), low = std::stod(row[5]),
                     close = std::stod(row[6]);
        EXPECT_TRUE(low <= std::min(open, close) && std::max(open, close) <= high) << days.Lines[i + 1];
        EXPECT_GT(std::stod(row[9]), 0);
    }

    // Monday 7 December, minute by minute and trade by trade.
    const WatchRun minutes =
        History("minute", {"--from", "20261207 09:00", "--to", "20261207 14:59:59", "--service", "194", "au2406"});
    ASSERT_EQ(0, minutes.Status) << minutes.Errors;
    const auto minuteRows = Rows(
        minutes,
        "InstrumentID,ExchangeID,Date,Time,OpenPrice,HighestPrice,LowestPrice,ClosePrice,QtyTotal,OI,Amount");
    ASSERT_EQ(360u, minuteRows.size());
    EXPECT_EQ("09:00:00", minuteRows.front()[3]);
    EXPECT_EQ("14:59:00", minuteRows.back()[3]);
    EXPECT_EQ(std::stoll(dayRows[4][7]), Sum(minuteRows, 8));
    EXPECT_EQ(dayRows[4][3], minuteRows.front()[4]);
    EXPECT_EQ(dayRows[4][6], minuteRows.back()[7]);

    const WatchRun trades = History("trades", {"--from", "20261207", "--format", "csv", "au2406"});
    ASSERT_EQ(0, trades.Status) << trades.Errors;
    const auto tradeRows = Rows(trades, "MatchID,InstrumentID,Date,Time,BSFlag,Qty,Price");
    ASSERT_EQ(1440u, tradeRows.size());
    EXPECT_EQ("au2406-20261207-1440", tradeRows.back()[0]);
    EXPECT_EQ(std::stoll(dayRows[4][7]), Sum(tradeRows, 5));
    EXPECT_EQ(dayRows[4][6], tradeRows.back()[6]);

    // JSON lines carry the same values.
    const WatchRun json = History("day", {"--from", "20261207", "--format", "json", "au2406"});
    ASSERT_EQ(0, json.Status) << json.Errors;
    ASSERT_EQ(1u, json.Lines.size());
    const nlohmann::json monday = nlohmann::json::parse(json.Lines[0]);
    EXPECT_EQ("20261207", monday.at("date"));
    EXPECT_EQ(std::stoll(dayRows[4][7]), monday.at("volume").get<long long>());
    EXPECT_EQ(std::stod(dayRows[4][9]), monday.at("amount").get<double>());
}

TEST_F(WatchHistory, RefusalsAreNamedAndSetTheExitStatus)
{
    WatchRun run = History("day", {"--from", "20261201", "--format", "csv", "zz9"});
    EXPECT_EQ(1, run.Status);
    EXPECT_EQ(1u, run.Lines.size());  // the header only
    EXPECT_NE(std::string::npos, run.Errors.find("kelm-md-watch: day bars of 'zz9' refused: 2 Unknown instrument: zz9"))
        << run.Errors;

    run = History("trades", {"--from", "20261204", "--format", "csv", "zz9", "ag2406"});
    EXPECT_EQ(3, run.Status) << run.Errors;
    EXPECT_EQ(1441u, run.Lines.size());
    EXPECT_NE(std::string::npos, run.Errors.find("  ag2406               1440 trades")) << run.Errors;

    run = Watch({"--server", m_server, "--user", "U", "--password", "wrong", "--history", "day", "au2406"});
    EXPECT_EQ(1, run.Status);
    EXPECT_TRUE(run.Lines.empty());
    EXPECT_NE(std::string::npos, run.Errors.find("login of 'U' failed: 1 Invalid user code or password"))
        << run.Errors;
}

TEST(WatchHistoryEmbedded, WithoutAServerItAsksItsOwnSimulator)
{
    const WatchRun run = Watch({"--history", "day", "--from", "20261201", "--to", "20261208", "--format", "csv", "cu2407"});
    EXPECT_EQ(0, run.Status) << run.Errors;
    ASSERT_EQ(7u, run.Lines.size()) << run.Errors;
    EXPECT_EQ(0u, run.Lines[6].find("cu2407,SIMX,20261208,")) << run.Lines[6];
}

}  // namespace
