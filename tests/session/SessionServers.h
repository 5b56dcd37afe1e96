// The quote servers the typed session tests run against. The simulator runs
// as a child process where the build has one for this platform. The Windows
// build has none (under Wine the Linux simulator cannot be a child of the
// test): there the protocol server library serves alone, in this process on
// a loopback socket.
#ifndef KELM_TESTS_SESSION_SESSIONSERVERS_H
#define KELM_TESTS_SESSION_SESSIONSERVERS_H

#include <gtest/gtest.h>

#include "CLoopbackQuoteServer.h"

#if defined(KELM_QUOTE_SIM_PATH)
#include "CSimulatorProcess.h"
using SessionServers = ::testing::Types<CSimulatorProcess, CLoopbackQuoteServer>;
#else
using SessionServers = ::testing::Types<CLoopbackQuoteServer>;
#endif

#endif
