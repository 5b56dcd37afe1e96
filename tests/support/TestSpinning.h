// Whether the tests run the library's network thread spinning. The
// environment variable KELM_TEST_SPINNING, when set, is the spinning setting
// (microseconds of polling after each event; -1 polls without end) that the
// tests give every engine and API object they make, so that a suite can be
// run once sleeping (the library's default) and once spinning. The library
// itself reads no environment variable.
#ifndef KELM_TESTS_SUPPORT_TESTSPINNING_H
#define KELM_TESTS_SUPPORT_TESTSPINNING_H

#include <KelmRivoMdExtension.h>

#include <cstdlib>

namespace testspinning
{

/// The setting asked for: 0 (sleeping) when KELM_TEST_SPINNING is not set.
inline int Setting()
{
    const char* value = std::getenv("KELM_TEST_SPINNING");
    return value ? std::atoi(value) : 0;
}

/// CKelmRivoMdApi::CreateRivoMdApi, spinning as the environment asks.
inline CKelmRivoMdApi* CreateApi()
{
    CKelmRivoMdApi* api = CKelmRivoMdApi::CreateRivoMdApi("", false, false);
    if (const int setting = Setting())
        CKelmRivoMdExtension::FromApi(api)->SetSpinning(setting);
    return api;
}

}  // namespace testspinning

#endif
