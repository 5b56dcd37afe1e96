// kelm-quote-sim: a quote server for testing market-data clients.
#include <iostream>

#include <boost/asio/signal_set.hpp>

#include "CQuoteSimCommandLine.h"
#include "CQuoteSimulator.h"

int main(int argc, char* argv[])
{
    QuoteSimSettings settings;
    std::string message;
    switch (CQuoteSimCommandLine::Parse(argc, argv, settings, message))
    {
    case CQuoteSimCommandLine::Outcome::Help:
        std::cout << message;
        return 0;
    case CQuoteSimCommandLine::Outcome::Error:
        std::cerr << "kelm-quote-sim: " << message << "\n";
        return 2;
    case CQuoteSimCommandLine::Outcome::Run:
        break;
    }
    try
    {
        CQuoteSimulator simulator(settings);
        boost::asio::signal_set signals(simulator.IoContext(), SIGINT, SIGTERM);
        simulator.Start();
        signals.async_wait([&simulator](const boost::system::error_code& error, int) {
            if (!error)
                simulator.Stop();
        });
        // Scripts read the address from the first line.
        std::cout << simulator.Address() << std::endl;
        simulator.Wait();
    }
    catch (const std::exception& error)
    {
        std::cerr << "kelm-quote-sim: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
