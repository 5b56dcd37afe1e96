#include "ProcessMemory.h"

#include <fstream>
#include <string>

namespace
{

// The value of "key:   N kB" in /proc/self/status, or 0.
double StatusKiB(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, key.size(), key) == 0 && line.size() > key.size() && line[key.size()] == ':')
            return std::stod(line.substr(key.size() + 1));
    return 0;
}

}  // namespace

namespace ProcessMemory
{

double ResidentKiB() { return StatusKiB("VmRSS"); }

double PeakResidentKiB() { return StatusKiB("VmHWM"); }

bool ResetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return bool(clear);
}

}  // namespace ProcessMemory
