#include "tools/bridge/CBridgeCommandLine.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include <KelmRivoMdApi.h>
#include <boost/program_options.hpp>

#include "tools/ToolVersion.h"
#include "tools/redis/CQuoteStreamEntry.h"

namespace po = boost::program_options;

namespace
{

constexpr const char* Usage =
    "Usage: kelm-md-bridge --server tcp://HOST:PORT [--server ...] --user U --password P [--broker B]\n"
    "                      --redis redis://HOST:PORT[/DB] [--redis-password P] [--maxlen N]\n"
    "                      [--prefix kelm:md:] [--buffer N] INSTRUMENT... | --instruments-file FILE\n"
    "Logs in to a quote server, subscribes to the instruments (again after every reconnect)\n"
    "and republishes every quote into Redis: one entry per quote in the stream\n"
    "<prefix><INSTRUMENT>, added with XADD <key> MAXLEN ~ N *, with the fields\n"
    "  record    the 584-byte MarketDepthRecord exactly as delivered\n"
    "  seq       the bridge's running number of the quote over all instruments, from 1\n"
    "  date time exchange price bid1 bidqty1 ask1 askqty1 volume oi amount\n"
    "            readable copies (ModifyDate, ModifyTime, ExchangeID, Price, BidPrice1,\n"
    "            BidQty1, AskPrice1, AskQty1, QtyTotal, OI, Amount)\n"
    "Session events (connected, disconnected, login, subscriptions, Redis lost and\n"
    "recovered, rejected entries, start and stop) go to the stream <prefix>events with\n"
    "the fields time, event and detail. A status line goes to standard error every\n"
    "--status-interval seconds: quotes in, written, buffered, dropped, rejected, round trips.\n"
    "While Redis is away the bridge reconnects with a growing pause (0.1 s to 2 s) and keeps\n"
    "up to --buffer quotes; quotes beyond that are dropped and counted. The address may carry\n"
    "credentials (redis://[[USER]:PASSWORD@]HOST[:PORT][/DB]); --redis-password overrides.\n"
    "SIGINT or SIGTERM: the quote session ends, what is buffered is written (at most\n"
    "--flush-timeout seconds) and a summary goes to standard error.\n"
    "Exit status: 0 stopped by a signal with every quote written; 1 login refused, no\n"
    "instrument subscribed, or quotes dropped, rejected or left unwritten; 2 bad arguments\n"
    "or a malformed address; 3 Redis unreachable, or its authentication or database refused\n"
    "at start.\n";

std::vector<std::string> ReadInstruments(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::invalid_argument("cannot read the instruments file '" + path + "'");
    std::vector<std::string> codes;
    for (std::string line; std::getline(in, line);)
    {
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        const auto last = line.find_last_not_of(" \t\r");
        codes.push_back(line.substr(first, last - first + 1));
    }
    return codes;
}

// tcp://HOST:PORT or tcp://[IPV6]:PORT with a port of 1 to 65535 (an empty
// host is this machine); the host itself is left to the library, which
// reports what it cannot resolve.
bool ValidServer(const std::string& address)
{
    const std::string scheme = "tcp://";
    if (address.compare(0, scheme.size(), scheme) != 0)
        return false;
    const std::string rest = address.substr(scheme.size());
    const auto colon = rest.rfind(':');
    const bool bracketed = !rest.empty() && rest.front() == '[';
    if (colon == std::string::npos || (bracketed ? colon < 2 || rest[colon - 1] != ']' : rest.find(':') != colon))
        return false;
    const std::string port = rest.substr(colon + 1);
    return !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos &&
           std::stoul(port) >= 1 && std::stoul(port) <= 65535;
}

void Check(const BridgeOptions& options)
{
    if (options.Servers.empty())
        throw std::invalid_argument("no --server given (see --help)");
    for (const std::string& server : options.Servers)
        if (!ValidServer(server))
            throw std::invalid_argument("malformed server address '" + server + "' (expected tcp://HOST:PORT)");
    if (options.User.empty() || options.User.size() > 15 || options.Password.size() > 20 ||
        options.Broker.size() > 10)
        throw std::invalid_argument("--user takes 1-15, --password up to 20, --broker up to 10 characters");
    if (options.Instruments.empty())
        throw std::invalid_argument("no instrument given (see --help)");
    for (const std::string& instrument : options.Instruments)
        if (instrument.empty() || instrument.size() > 15 || instrument == CQuoteStreamEntry::EventsStream)
            throw std::invalid_argument("instrument code '" + instrument +
                                        "' must have 1 to 15 characters and not be 'events'");
    if (options.Prefix.empty())
        throw std::invalid_argument("--prefix must not be empty");
    if (options.Buffer == 0)
        throw std::invalid_argument("--buffer must be at least 1");
    if (!(options.StatusInterval >= 0) || !(options.FlushTimeout >= 0) || !(options.RedisTimeout > 0))
        throw std::invalid_argument("--status-interval and --flush-timeout must not be negative, "
                                    "--redis-timeout must be positive");
}

}  // namespace

CBridgeCommandLine::Outcome CBridgeCommandLine::Parse(int argc, const char* const argv[], BridgeOptions& options,
                                                      std::string& message)
{
    std::string redis;
    std::string redisPassword;
    std::string instrumentsFile;
    int64_t maxLen = static_cast<int64_t>(options.MaxLen);
    int64_t buffer = static_cast<int64_t>(options.Buffer);
    po::options_description visible("Options");
    visible.add_options()
        ("help,h", "show this help and exit")
        ("version", "show the version of the bridge and of the library it loaded, and exit")
        ("server", po::value(&options.Servers), "quote server tcp://HOST:PORT, repeatable (tried in turn)")
        ("user", po::value(&options.User), "user code for the login")
        ("password", po::value(&options.Password), "password for the login")
        ("broker", po::value(&options.Broker), "broker code for the login")
        ("redis", po::value(&redis), "Redis server redis://[[USER]:PASSWORD@]HOST[:PORT][/DB] (port 6379, database 0 by default)")
        ("redis-password", po::value(&redisPassword), "password for Redis (AUTH)")
        ("prefix", po::value(&options.Prefix)->default_value(options.Prefix), "prefix of the stream keys")
        ("maxlen", po::value(&maxLen)->default_value(maxLen),
         "entries kept per stream (trimmed approximately, MAXLEN ~); 0: no trimming")
        ("buffer", po::value(&buffer)->default_value(buffer),
         "quotes kept while Redis is away or slow (about 600 bytes each, taken as used)")
        ("instruments-file", po::value(&instrumentsFile),
         "read the instrument codes from FILE, one per line ('#' starts a comment line)")
        ("status-interval", po::value(&options.StatusInterval)->default_value(options.StatusInterval),
         "seconds between status lines on standard error; 0: none")
        ("flush-timeout", po::value(&options.FlushTimeout)->default_value(options.FlushTimeout),
         "seconds to write what is buffered when stopping")
        ("redis-timeout", po::value(&options.RedisTimeout)->default_value(options.RedisTimeout),
         "seconds to connect to Redis or wait for its reply before treating it as lost");
    po::options_description all;
    all.add(visible).add_options()("instrument", po::value(&options.Instruments));
    po::positional_options_description positional;
    positional.add("instrument", -1);
    try
    {
        po::variables_map values;
        po::store(po::command_line_parser(argc, argv).options(all).positional(positional).run(), values);
        if (values.count("help"))
        {
            std::ostringstream help;
            help << Usage << "\n" << visible;
            message = help.str();
            return Outcome::Help;
        }
        if (values.count("version"))
        {
            message = ToolVersion("kelm-md-bridge", CKelmRivoMdApi::GetApiVersion());
            return Outcome::Help;
        }
        po::notify(values);
        if (redis.empty())
            throw std::invalid_argument("no --redis given (see --help)");
        std::string error;
        if (!RedisAddress::Parse(redis, options.Redis, error))
            throw std::invalid_argument(error);
        if (values.count("redis-password"))
            options.Redis.Password = redisPassword;
        if (!instrumentsFile.empty())
        {
            const std::vector<std::string> codes = ReadInstruments(instrumentsFile);
            options.Instruments.insert(options.Instruments.end(), codes.begin(), codes.end());
        }
        if (maxLen < 0 || buffer < 0)
            throw std::invalid_argument("--maxlen and --buffer must not be negative");
        options.MaxLen = static_cast<uint64_t>(maxLen);
        options.Buffer = static_cast<std::size_t>(buffer);
        Check(options);
    }
    catch (const std::exception& error)
    {
        message = error.what();
        return Outcome::Error;
    }
    return Outcome::Run;
}
