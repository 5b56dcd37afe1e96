// What every tool answers to --version: its name and the library release it
// belongs to, and for a tool that loads the shared library, the version the
// loaded library reports (which tells which copy was found).
#ifndef KELM_TOOLS_TOOLVERSION_H
#define KELM_TOOLS_TOOLVERSION_H

#include <string>

inline std::string ToolVersion(const std::string& tool, const char* loadedLibrary = nullptr)
{
    std::string text = tool + " " + KELM_RELEASE_VERSION;
    if (loadedLibrary != nullptr)
        text += std::string(" (library ") + loadedLibrary + ")";
    return text + "\n";
}

#endif
