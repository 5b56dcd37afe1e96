#include "CWatchCommandLine.h"

#include <sstream>
#include <stdexcept>

#include <KelmRivoMdApi.h>
#include <boost/program_options.hpp>

#include "CHistoryCommandLine.h"
#include "CInstrumentUniverse.h"
#include "CMetricsServer.h"
#include "CQuoteSimulator.h"
#include "ToolVersion.h"

namespace po = boost::program_options;

namespace
{

constexpr const char* Usage =
    "Usage: kelm-md-watch [--server tcp://HOST:PORT]... [--user U --password P --broker B]\n"
    "                     [--format table|csv|json] [--count N] [--duration SECONDS]\n"
    "                     [--record FILE] [--connect-timeout SECONDS]\n"
    "                     [--rate R --seed S --instruments LIST] INSTRUMENT...\n"
    "       kelm-md-watch --redis redis://HOST:PORT[/DB] [--redis-password P] [--prefix kelm:md:]\n"
    "                     [--from-start] [--format ...] [--count N] [--duration S] [--record FILE]\n"
    "                     INSTRUMENT...\n"
    "       kelm-md-watch --history minute|day|trades [--from FROM [--to TO]] [--service N]\n"
    "                     [--server ...] [--user ...] [--format ...] INSTRUMENT...\n"
    "       the first two with [--metrics HOST:PORT] [--health-max-quote-age SECONDS]\n"
    "Logs in to a quote server, subscribes to the instruments and shows their quotes.\n"
    "Without --server it starts a quote simulator of its own on a free loopback port\n"
    "(set up with --rate, --seed and --instruments, as kelm-quote-sim is).\n"
    "On a terminal the default is a live table: a status line, one row per instrument\n"
    "and the latest events. Otherwise one CSV line per quote (after a header line) or,\n"
    "with --format json, one JSON object per line, each passed on as it arrives.\n"
    "Events go to standard error (held while the table is on the terminal, written when\n"
    "it ends). At the end (--count or --duration reached, or Ctrl-C) a summary of the\n"
    "quotes per instrument goes to standard error.\n"
    "An IPv6 address goes in brackets: tcp://[::1]:PORT.\n"
    "With --redis it follows the streams <prefix><INSTRUMENT> that kelm-md-bridge writes\n"
    "(new entries, or all of them with --from-start) and shows their quotes the same way;\n"
    "a Redis that cannot be reached or refuses the password ends it with status 1.\n"
    "With --history it asks for the instruments' minute bars, day bars or trades\n"
    "instead, shows the answers (a table, CSV lines after a header line, or JSON\n"
    "lines) and exits; the exit status counts an instrument as watched once its\n"
    "whole answer came, and a refusal is named on standard error.\n"
    "--metrics HOST:PORT serves Prometheus metrics on /metrics (per instrument quotes and\n"
    "seconds since the last, the link) and on /healthz 200 while the link is up, logged in\n"
    "and a quote came within --health-max-quote-age seconds, 503 otherwise.\n"
    "\n"
    "Exit status:\n"
    "  0  every instrument was watched until --count, --duration or Ctrl-C\n"
    "  1  nothing could be watched: the first address cannot be resolved, no login\n"
    "     within --connect-timeout, the login was refused, every instrument was\n"
    "     refused, or Ctrl-C came before the login\n"
    "  2  bad arguments, the --record file cannot be written, or the --metrics address\n"
    "     cannot be listened on\n"
    "  3  watched, but the server refused some instruments (named in the summary)\n";

WatchFormat ParseFormat(const std::string& text)
{
    if (text == "table")
        return WatchFormat::Table;
    if (text == "csv")
        return WatchFormat::Csv;
    if (text == "json")
        return WatchFormat::Json;
    throw std::invalid_argument("--format must be table, csv or json, not '" + text + "'");
}

void CheckRun(const WatchOptions& options, int64_t count)
{
    for (const std::string& server : options.Servers)
    {
        const std::string reason = CWatchCommandLine::CheckServer(server);
        if (!reason.empty())
            throw std::invalid_argument("server address '" + server + "': " + reason);
    }
    if (options.Instruments.empty())
        throw std::invalid_argument("no instrument given (see --help)");
    for (const std::string& instrument : options.Instruments)
        if (instrument.empty() || instrument.size() > 15)
            throw std::invalid_argument("instrument code '" + instrument + "' must have 1 to 15 characters");
    if (count < 0)
        throw std::invalid_argument("--count must not be negative");
    if (!(options.Duration >= 0) || !(options.ConnectTimeout >= 0))
        throw std::invalid_argument("--duration and --connect-timeout must not be negative");
    if (options.User.empty() || options.User.size() > 15 || options.Password.size() > 20 ||
        options.Broker.size() > 10)
        throw std::invalid_argument("--user takes 1-15, --password up to 20, --broker up to 10 characters");
    std::string error;
    if (!options.Metrics.empty() && !CMetricsServer::ValidAddress(options.Metrics, error))
        throw std::invalid_argument(error);
    if (!(options.HealthMaxQuoteAge >= 0))
        throw std::invalid_argument("--health-max-quote-age must not be negative");
}

}  // namespace

bool CWatchCommandLine::SplitServer(const std::string& address, std::string& host, std::string& port)
{
    const std::string scheme = "tcp://";
    if (address.compare(0, scheme.size(), scheme) != 0)
        return false;
    const std::string rest = address.substr(scheme.size());
    const auto close = rest.find("]:");
    if (!rest.empty() && rest[0] == '[' && close != std::string::npos)
    {
        host = rest.substr(1, close - 1);
        port = rest.substr(close + 2);
        return true;
    }
    const auto colon = rest.find(':');
    if (colon == std::string::npos)
        return false;
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    return true;
}

std::string CWatchCommandLine::CheckServer(const std::string& address)
{
    std::string host;
    std::string port;
    if (!SplitServer(address, host, port))
        return "expected tcp://HOST:PORT";
    if (port.find(':') != std::string::npos)
        return "an IPv6 address goes in brackets, tcp://[::1]:PORT";
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return "the port must be a number from 1 to 65535";
    const unsigned long value = std::stoul(port);
    return value >= 1 && value <= 65535 ? "" : "the port must be a number from 1 to 65535";
}

CWatchCommandLine::Outcome CWatchCommandLine::Parse(int argc, const char* const argv[], bool outputIsTerminal,
                                                    WatchOptions& options, std::string& message)
{
    std::string format = outputIsTerminal ? "table" : "csv";
    int64_t count = 0;
    std::string universe = CInstrumentUniverse::DefaultList;
    std::string redis;
    std::string redisPassword;
    po::options_description visible("Options");
    visible.add_options()
        ("help,h", "show this help and exit")
        ("version", "show the version of the watcher and of the library it loaded, and exit")
        ("server", po::value(&options.Servers), "quote server tcp://HOST:PORT, repeatable (tried in turn)")
        ("user", po::value(&options.User)->default_value(options.User), "user code for the login")
        ("password", po::value(&options.Password), "password for the login")
        ("broker", po::value(&options.Broker), "broker code for the login")
        ("format", po::value(&format), "output: table (default on a terminal), csv (default otherwise) or json")
        ("count", po::value(&count), "stop after this many quotes")
        ("duration", po::value(&options.Duration), "stop after this many seconds")
        ("connect-timeout", po::value(&options.ConnectTimeout)->default_value(options.ConnectTimeout),
         "seconds to wait for the connection and the login, and with --history for each answer (0: forever)")
        ("record", po::value(&options.RecordFile),
         "also write every quote to FILE as CSV, the format kelm-quote-sim --replay reads")
        ("metrics", po::value(&options.Metrics),
         "serve Prometheus metrics on http://HOST:PORT/metrics and the health on /healthz (HOST: an IPv4 address)")
        ("health-max-quote-age", po::value(&options.HealthMaxQuoteAge)->default_value(options.HealthMaxQuoteAge),
         "seconds without a quote after which /healthz answers 503; 0: quotes not checked");
    po::options_description embedded("The embedded simulator (without --server)");
    embedded.add_options()
        ("rate", po::value(&options.Embedded.Rate)->default_value(options.Embedded.Rate),
         "quotes per second per subscribed instrument (at most 100000)")
        ("seed", po::value(&options.Embedded.Seed)->default_value(options.Embedded.Seed),
         "seed of the random walk")
        ("instruments", po::value(&universe)->default_value(universe),
         "instruments it serves, comma-separated CODE or CODE@EXCHANGE; others are refused");
    visible.add(embedded);
    po::options_description fromRedis("Reading the streams of kelm-md-bridge instead of a server");
    fromRedis.add_options()
        ("redis", po::value(&redis), "Redis server redis://[[USER]:PASSWORD@]HOST[:PORT][/DB]")
        ("redis-password", po::value(&redisPassword), "password for Redis (AUTH)")
        ("prefix", po::value(&options.Prefix)->default_value(options.Prefix), "prefix of the stream keys")
        ("from-start", "read the streams from their first entry, not only new ones");
    visible.add(fromRedis);
    std::string history;
    po::options_description historyOptions("History instead of quotes");
    historyOptions.add_options()
        ("history", po::value(&history), "minute, day or trades: ask for these and exit")
        ("from", po::value(&options.From),
         "first day YYYYMMDD (minutes: also 'YYYYMMDD HH:MM[:SS]'); trades: the day; none: the server's choice")
        ("to", po::value(&options.To), "last day or minute, inclusive (default: the day of --from)")
        ("service", po::value(&options.Service)->default_value(options.Service),
         "minute-data service 150, 192 or 194 (they answer alike)");
    visible.add(historyOptions);
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
            message = ToolVersion("kelm-md-watch", CKelmRivoMdApi::GetApiVersion());
            return Outcome::Help;
        }
        po::notify(values);
        options.Format = ParseFormat(format);
        CheckRun(options, count);
        if (!history.empty())
            options.History = CHistoryCommandLine::ParseKind(history);
        CHistoryCommandLine::Complete(options, !values["service"].defaulted());
        if (options.History != HistoryKind::None &&
            (!redis.empty() || values.count("count") || values.count("duration") || values.count("record")))
            throw std::invalid_argument("--history asks a server once: no --redis, --count, --duration or --record");
        options.FromRedis = !redis.empty();
        options.FromStart = values.count("from-start") != 0;
        if (options.FromRedis && !options.Servers.empty())
            throw std::invalid_argument("--redis and --server exclude each other");
        if (options.FromRedis && !RedisAddress::Parse(redis, options.Redis, message))
            throw std::invalid_argument(message);
        if (values.count("redis-password"))
            options.Redis.Password = redisPassword;
        for (const char* name : {"rate", "seed", "instruments"})
            if ((!options.Servers.empty() || options.FromRedis) && !values[name].defaulted())
                throw std::invalid_argument(std::string("--") + name +
                                            " sets up the embedded simulator, which --server and --redis replace");
        options.Embedded.Instruments = CInstrumentUniverse::Parse(universe);
        CQuoteSimulator::Validate(options.Embedded);
        options.Count = static_cast<uint64_t>(count);
    }
    catch (const std::exception& error)
    {
        message = error.what();
        return Outcome::Error;
    }
    return Outcome::Run;
}
