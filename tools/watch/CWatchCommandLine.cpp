#include "tools/watch/CWatchCommandLine.h"

#include <sstream>
#include <stdexcept>

#include <boost/program_options.hpp>

namespace po = boost::program_options;

namespace
{

constexpr const char* Usage =
    "Usage: kelm-md-watch [--server tcp://HOST:PORT]... [--user U --password P --broker B]\n"
    "                     [--format table|csv|json] [--count N] [--duration SECONDS]\n"
    "                     [--record FILE] INSTRUMENT...\n"
    "Logs in to a quote server, subscribes to the instruments and shows their quotes.\n"
    "Without --server it starts a quote simulator of its own on a free loopback port.\n"
    "On a terminal the default is a live table, one row per instrument; otherwise one\n"
    "CSV line per quote (after a header line) or, with --format json, one JSON object\n"
    "per line. Connection, login and subscription events go to standard error. At the\n"
    "end (--count or --duration reached, or Ctrl-C) a summary of the quotes received\n"
    "per instrument goes to standard error.\n"
    "Exit status: 0 done, 1 connection, login or subscription failed, 2 bad arguments.\n";

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

}  // namespace

bool CWatchCommandLine::ValidServer(const std::string& address)
{
    const std::string scheme = "tcp://";
    if (address.compare(0, scheme.size(), scheme) != 0)
        return false;
    const std::string rest = address.substr(scheme.size());
    const auto colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon > 127 || colon + 1 == rest.size() ||
        rest.find(':') != colon)
        return false;
    const std::string port = rest.substr(colon + 1);
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long value = std::stoul(port);
    return value >= 1 && value <= 65535;
}

CWatchCommandLine::Outcome CWatchCommandLine::Parse(int argc, const char* const argv[], bool outputIsTerminal,
                                                    WatchOptions& options, std::string& message)
{
    std::string format = outputIsTerminal ? "table" : "csv";
    int64_t count = 0;
    po::options_description visible("Options");
    visible.add_options()
        ("help,h", "show this help and exit")
        ("server", po::value(&options.Servers), "quote server tcp://HOST:PORT, repeatable (tried in turn)")
        ("user", po::value(&options.User)->default_value(options.User), "user code for the login")
        ("password", po::value(&options.Password), "password for the login")
        ("broker", po::value(&options.Broker), "broker code for the login")
        ("format", po::value(&format), "output: table (default on a terminal), csv (default otherwise) or json")
        ("count", po::value(&count), "stop after this many quotes")
        ("duration", po::value(&options.Duration), "stop after this many seconds")
        ("connect-timeout", po::value(&options.ConnectTimeout)->default_value(options.ConnectTimeout),
         "seconds to wait for the connection and the login (0: forever)")
        ("record", po::value(&options.RecordFile),
         "also write every quote to FILE as CSV, the format kelm-quote-sim --replay reads");
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
        po::notify(values);
        options.Format = ParseFormat(format);
        for (const std::string& server : options.Servers)
            if (!ValidServer(server))
                throw std::invalid_argument("malformed server address '" + server + "' (expected tcp://HOST:PORT)");
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
        options.Count = static_cast<uint64_t>(count);
    }
    catch (const std::exception& error)
    {
        message = error.what();
        return Outcome::Error;
    }
    return Outcome::Run;
}
