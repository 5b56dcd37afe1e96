#include "CBridgeCommandLine.h"

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>

#include <KelmRivoMdApi.h>
#include <boost/program_options.hpp>

#include "CMetricsServer.h"
#include "CQuoteStreamEntry.h"
#include "ToolVersion.h"

namespace po = boost::program_options;

namespace
{

constexpr const char* Usage =
    "Usage: kelm-md-bridge --server tcp://HOST:PORT [--server ...] --user U --password P [--broker B]\n"
    "                      --redis redis://HOST:PORT[/DB] [--redis-password P] [--maxlen N]\n"
    "                      [--prefix kelm:md:] [--buffer N] [--metrics HOST:PORT]\n"
    "                      INSTRUMENT... | --instruments-file FILE\n"
    "       kelm-md-bridge --config FILE [OPTION...]\n"
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
    "--config FILE reads the options from FILE, one 'key = value' per line: the keys are the\n"
    "long options without the dashes, 'instrument' for the codes (several on one line, or\n"
    "the key repeated), 'server' repeated for several servers; '#' starts a comment line.\n"
    "Options on the command line win over the file.\n"
    "SIGINT or SIGTERM: the quote session ends, what is buffered is written (at most\n"
    "--flush-timeout seconds) and a summary goes to standard error.\n"
    "Exit status: 0 stopped by a signal with every quote written; 1 login refused, no\n"
    "instrument subscribed, or quotes dropped, rejected or left unwritten; 2 bad arguments,\n"
    "a malformed address, or a --metrics address it cannot listen on; 3 Redis unreachable,\n"
    "or its authentication or database refused at start.\n"
    "--metrics HOST:PORT serves Prometheus metrics on /metrics (per instrument quotes and\n"
    "seconds since the last, the link, Redis and the buffer) and on /healthz 200 while the\n"
    "link is up, logged in and a quote came within --health-max-quote-age seconds, 503\n"
    "otherwise.\n";

// A bad value of one option: the option's key and the value let the error
// be traced to the line of a configuration file that gave it.
class OptionError : public std::invalid_argument
{
public:
    OptionError(const std::string& key, const std::string& value, const std::string& what)
        : std::invalid_argument(what), Key(key), Value(value)
    {
    }

    std::string Key;
    std::string Value;
};

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> ReadInstruments(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw OptionError("instruments-file", path, "cannot read the instruments file '" + path + "'");
    std::vector<std::string> codes;
    for (std::string line; std::getline(in, line);)
    {
        line = Trim(line);
        if (!line.empty() && line[0] != '#')
            codes.push_back(line);
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

void CheckLength(const std::string& key, const std::string& value, std::size_t min, std::size_t max)
{
    if (value.size() < min || value.size() > max)
        throw OptionError(key, value, "--user takes 1-15, --password up to 20, --broker up to 10 characters");
}

void Check(const BridgeOptions& options)
{
    if (options.Servers.empty())
        throw std::invalid_argument("no --server given (see --help)");
    for (const std::string& server : options.Servers)
        if (!ValidServer(server))
            throw OptionError("server", server, "malformed server address '" + server + "' (expected tcp://HOST:PORT)");
    CheckLength("user", options.User, 1, 15);
    CheckLength("password", options.Password, 0, 20);
    CheckLength("broker", options.Broker, 0, 10);
    if (options.Instruments.empty())
        throw std::invalid_argument("no instrument given (see --help)");
    for (const std::string& instrument : options.Instruments)
        if (instrument.empty() || instrument.size() > 15 || instrument == CQuoteStreamEntry::EventsStream)
            throw OptionError("instrument", instrument,
                              "instrument code '" + instrument + "' must have 1 to 15 characters and not be 'events'");
    if (options.Prefix.empty())
        throw OptionError("prefix", options.Prefix, "--prefix must not be empty");
    if (options.Buffer == 0)
        throw OptionError("buffer", "", "--buffer must be at least 1");
    const char* times = "--status-interval, --flush-timeout and --health-max-quote-age must not be negative, "
                        "--redis-timeout must be positive";
    for (const auto& [key, value] : {std::make_pair("status-interval", options.StatusInterval),
                                     std::make_pair("flush-timeout", options.FlushTimeout),
                                     std::make_pair("health-max-quote-age", options.HealthMaxQuoteAge)})
        if (!(value >= 0))
            throw OptionError(key, "", times);
    if (!(options.RedisTimeout > 0))
        throw OptionError("redis-timeout", "", times);
    std::string error;
    if (!options.Metrics.empty() && !CMetricsServer::ValidAddress(options.Metrics, error))
        throw OptionError("metrics", options.Metrics, error);
}

// One "key = value" of a configuration file.
struct ConfigEntry
{
    std::string Key;
    std::string Value;
    int Line;
};

// The options of a configuration file, each checked on its own so that an
// error names its line; a key that is not an option, a line without '=' or
// an option given twice (other than server and instrument) is an error too.
std::vector<ConfigEntry> ReadConfig(const std::string& path, const po::options_description& options)
{
    std::ifstream in(path);
    if (!in)
        throw std::invalid_argument("cannot read the configuration file '" + path + "'");
    std::vector<ConfigEntry> entries;
    std::map<std::string, int> seen;
    int number = 0;
    for (std::string line; std::getline(in, line);)
    {
        ++number;
        const std::string where = path + ":" + std::to_string(number) + ": ";
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            throw std::invalid_argument(where + "expected 'key = value', got '" + line + "'");
        const std::string key = Trim(line.substr(0, equals));
        const std::string value = Trim(line.substr(equals + 1));
        if (key == "help" || key == "config" || options.find_nothrow(key, false) == nullptr)
            throw std::invalid_argument(where + "unknown key '" + key + "'");
        const bool repeatable = key == "server" || key == "instrument";
        if (!repeatable && !seen.emplace(key, number).second)
            throw std::invalid_argument(where + "'" + key + "' was already given on line " +
                                        std::to_string(seen[key]));
        std::vector<std::string> values{value};
        if (key == "instrument")
        {
            std::istringstream codes(value);
            values.assign(std::istream_iterator<std::string>(codes), std::istream_iterator<std::string>());
        }
        for (const std::string& one : values)
        {
            po::parsed_options single(&options);
            single.options.emplace_back(key, std::vector<std::string>{one});
            po::variables_map scratch;
            try
            {
                po::store(single, scratch);
            }
            catch (const po::error& error)
            {
                throw std::invalid_argument(where + error.what());
            }
            entries.push_back({key, one, number});
        }
    }
    return entries;
}

// Stores what the file gives beside what the command line gave; the
// command line's options stay as they are.
void StoreConfig(const std::vector<ConfigEntry>& entries, const po::options_description& options,
                 po::variables_map& values)
{
    po::parsed_options parsed(&options);
    for (const ConfigEntry& entry : entries)
        parsed.options.emplace_back(entry.Key, std::vector<std::string>{entry.Value});
    po::store(parsed, values);
}

// The message of a bad value, with the file and line it came from when the
// command line did not give that option. The value tells the lines of a
// repeated key apart; without one the key's only line is meant.
std::string Locate(const OptionError& error, const std::string& path, const std::vector<ConfigEntry>& entries,
                   const po::parsed_options& commandLine)
{
    for (const auto& option : commandLine.options)
        if (option.string_key == error.Key)
            return error.what();
    for (const ConfigEntry& entry : entries)
        if (entry.Key == error.Key && (error.Value.empty() || entry.Value == error.Value))
            return path + ":" + std::to_string(entry.Line) + ": " + error.what();
    return error.what();
}

}  // namespace

CBridgeCommandLine::Outcome CBridgeCommandLine::Parse(int argc, const char* const argv[], BridgeOptions& options,
                                                      std::string& message)
{
    std::string redis;
    std::string redisPassword;
    std::string instrumentsFile;
    std::string configFile;
    int64_t maxLen = static_cast<int64_t>(options.MaxLen);
    int64_t buffer = static_cast<int64_t>(options.Buffer);
    po::options_description visible("Options");
    visible.add_options()
        ("help,h", "show this help and exit")
        ("config", po::value(&configFile), "read options from FILE ('key = value' lines; the command line wins)")
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
         "seconds to connect to Redis or wait for its reply before treating it as lost")
        ("metrics", po::value(&options.Metrics),
         "serve Prometheus metrics on http://HOST:PORT/metrics and the health on /healthz (HOST: an IPv4 address)")
        ("health-max-quote-age", po::value(&options.HealthMaxQuoteAge)->default_value(options.HealthMaxQuoteAge),
         "seconds without a quote after which /healthz answers 503; 0: quotes not checked");
    po::options_description all;
    all.add(visible).add_options()("instrument", po::value(&options.Instruments));
    po::positional_options_description positional;
    positional.add("instrument", -1);
    po::parsed_options commandLine(&all);
    std::vector<ConfigEntry> config;
    try
    {
        po::variables_map values;
        commandLine = po::command_line_parser(argc, argv).options(all).positional(positional).run();
        po::store(commandLine, values);
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
        if (values.count("config"))
        {
            configFile = values["config"].as<std::string>();
            config = ReadConfig(configFile, all);
            StoreConfig(config, all, values);
        }
        po::notify(values);
        if (redis.empty())
            throw std::invalid_argument("no --redis given (see --help)");
        std::string error;
        if (!RedisAddress::Parse(redis, options.Redis, error))
            throw OptionError("redis", redis, error);
        if (values.count("redis-password"))
            options.Redis.Password = redisPassword;
        if (!instrumentsFile.empty())
        {
            const std::vector<std::string> codes = ReadInstruments(instrumentsFile);
            options.Instruments.insert(options.Instruments.end(), codes.begin(), codes.end());
        }
        if (maxLen < 0)
            throw OptionError("maxlen", "", "--maxlen and --buffer must not be negative");
        if (buffer < 0)
            throw OptionError("buffer", "", "--maxlen and --buffer must not be negative");
        options.MaxLen = static_cast<uint64_t>(maxLen);
        options.Buffer = static_cast<std::size_t>(buffer);
        Check(options);
    }
    catch (const OptionError& error)
    {
        message = Locate(error, configFile, config, commandLine);
        return Outcome::Error;
    }
    catch (const std::exception& error)
    {
        message = error.what();
        return Outcome::Error;
    }
    return Outcome::Run;
}
