// Copies into the fixed-size, NUL-terminated text fields of the records.
#ifndef KELM_TOOLS_SIM_SIMTEXT_H
#define KELM_TOOLS_SIM_SIMTEXT_H

#include <cstddef>
#include <cstdio>
#include <string>

// Cuts text to N - 1 characters.
template <std::size_t N>
void CopyText(char (&target)[N], const std::string& text)
{
    std::snprintf(target, N, "%s", text.c_str());
}

#endif
