#include "CQuoteSimCommandLine.h"

#include <sstream>
#include <stdexcept>

#include <boost/asio/ip/address.hpp>
#include <boost/program_options.hpp>

#include "CInstrumentUniverse.h"
#include "CQuoteSimulator.h"
#include "ToolVersion.h"

namespace po = boost::program_options;

namespace
{

constexpr const char* Usage =
    "Usage: kelm-quote-sim [OPTIONS]\n"
    "Quote server for testing market-data clients. Prints the address it listens on\n"
    "(HOST:PORT, an IPv6 host in brackets: [::1]:PORT) as its first line on standard\n"
    "output, then serves until SIGINT or SIGTERM. Events go to standard error.\n";

constexpr const char* Notes =
    "\nAnswers: RspNo 0 success; 1 invalid user code or password; 2 unknown instrument;\n"
    "3 not logged in; 4 not subscribed. Subscriptions belong to the connection.\n"
    "History queries (minute data 150/192/194, day data 152, trade detail 211) are\n"
    "answered as lists split over packages of at most 8188 bytes: EndFlag is 1 on\n"
    "every package but the last and 0 on the last.\n"
    "With --replay, each connection gets the recording from its start, filtered to its\n"
    "subscriptions, once it has subscribed to every instrument of the file (or\n"
    "--replay-wait seconds after its first subscription).\n"
    "Once 4 MiB wait to be written to a client that reads too slowly, quotes to it are\n"
    "dropped (counted and logged) until half of that is written; a client with 8 MiB\n"
    "waiting is disconnected.\n"
    "When the machine cannot keep --rate, the rate achieved is logged.\n"
    "Exit status: 0 stopped by a signal, 1 cannot listen or load the recording,\n"
    "2 bad arguments.\n";

void ParseListen(const std::string& text, QuoteSimSettings& settings)
{
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        throw std::invalid_argument("--listen expects HOST:PORT, got '" + text + "'");
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    boost::system::error_code error;
    boost::asio::ip::make_address(host, error);
    if (error)
        throw std::invalid_argument("--listen: '" + host + "' is not an IP address");
    std::size_t used = 0;
    unsigned long port = 0;
    try
    {
        port = std::stoul(text.substr(colon + 1), &used);
    }
    catch (const std::exception&)
    {
        used = 0;
    }
    if (used != text.size() - colon - 1 || port > 65535)
        throw std::invalid_argument("--listen: bad port in '" + text + "'");
    settings.ListenHost = host;
    settings.ListenPort = static_cast<uint16_t>(port);
}

void ParseUsers(const std::vector<std::string>& users, QuoteSimSettings& settings)
{
    for (const std::string& user : users)
    {
        const auto colon = user.find(':');
        if (colon == std::string::npos || colon == 0 || colon > 15 || user.size() - colon - 1 > 20)
            throw std::invalid_argument("--user expects CODE:PASSWORD (code 1-15, password up to 20 characters), got '" +
                                        user + "'");
        settings.Users[user.substr(0, colon)] = user.substr(colon + 1);
    }
}

const std::string& RateHelp()
{
    static const std::string text = "quotes per second per subscribed instrument (at most " +
                                    std::to_string(static_cast<int>(QuoteSimSettings::MaxRate)) + ")";
    return text;
}

std::chrono::milliseconds Seconds(double seconds, const char* option)
{
    if (!(seconds >= 0))
        throw std::invalid_argument(std::string(option) + " must not be negative");
    return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
}

}  // namespace

CQuoteSimCommandLine::Outcome CQuoteSimCommandLine::Parse(int argc, const char* const argv[],
                                                          QuoteSimSettings& settings, std::string& message)
{
    std::string listen = "127.0.0.1:0";
    std::vector<std::string> users;
    std::string instruments = CInstrumentUniverse::DefaultList;
    double replayWait = 1, heartbeat = 30, timeout = 150;
    po::options_description options("Options");
    options.add_options()
        ("help,h", "show this help and exit")
        ("version", "show the version and exit")
        ("listen", po::value(&listen)->default_value(listen), "address to listen on, HOST:PORT; port 0 picks a free port")
        ("user", po::value(&users), "accepted login CODE:PASSWORD, repeatable; with none, any user and password")
        ("trade-date", po::value(&settings.TradeDate), "trading day YYYY-MM-DD sent at login (default: today)")
        ("sys-name", po::value(&settings.SysName)->default_value(settings.SysName), "system name sent at login")
        ("instruments", po::value(&instruments)->default_value(instruments),
         "instrument universe, comma-separated CODE or CODE@EXCHANGE")
        ("seed", po::value(&settings.Seed)->default_value(settings.Seed), "seed of the random walk and the history")
        ("rate", po::value(&settings.Rate)->default_value(settings.Rate), RateHelp().c_str())
        ("replay", po::value(&settings.ReplayFile), "replay quotes from this CSV recording instead of the random walk")
        ("speed", po::value(&settings.Speed)->default_value(settings.Speed),
         "replay speed: 1 as recorded, 2 twice as fast, 0 as fast as possible")
        ("replay-wait", po::value(&replayWait)->default_value(replayWait),
         "seconds after a connection's first subscription before its replay starts anyway")
        ("heartbeat", po::value(&heartbeat)->default_value(heartbeat),
         "seconds without sending after which a heartbeat is sent (0: never)")
        ("timeout", po::value(&timeout)->default_value(timeout),
         "seconds of client silence after which the client is dropped (0: never)")
        ("quiet,q", "do not log connection events to standard error");
    try
    {
        po::variables_map values;
        po::store(po::command_line_parser(argc, argv).options(options).run(), values);
        if (values.count("help"))
        {
            std::ostringstream help;
            help << Usage << "\n" << options << Notes;
            message = help.str();
            return Outcome::Help;
        }
        if (values.count("version"))
        {
            message = ToolVersion("kelm-quote-sim");
            return Outcome::Help;
        }
        po::notify(values);
        ParseListen(listen, settings);
        ParseUsers(users, settings);
        settings.Instruments = CInstrumentUniverse::Parse(instruments);
        CQuoteSimulator::Validate(settings);
        settings.ReplayWait = Seconds(replayWait, "--replay-wait");
        settings.HeartbeatIdle = Seconds(heartbeat, "--heartbeat");
        settings.SilenceTimeout = Seconds(timeout, "--timeout");
        settings.LogEvents = values.count("quiet") == 0;
    }
    catch (const std::exception& error)
    {
        message = error.what();
        return Outcome::Error;
    }
    return Outcome::Run;
}
