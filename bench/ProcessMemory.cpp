#include "ProcessMemory.h"

#include <unistd.h>

#include <fstream>

namespace ProcessMemory
{

double ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    if (!(statm >> size >> resident))
        return 0;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1024.0;
}

}  // namespace ProcessMemory
