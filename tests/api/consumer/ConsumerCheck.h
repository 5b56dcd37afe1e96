// The consumer programs' checks: a line on standard error for each that
// fails, and 1 to add to the failures.
#ifndef KELM_CONSUMER_CONSUMERCHECK_H
#define KELM_CONSUMER_CONSUMERCHECK_H

#include <cstdio>

inline int Check(bool ok, const char* what)
{
    if (!ok)
        std::fprintf(stderr, "FAILED: %s\n", what);
    return ok ? 0 : 1;
}

#endif
