// The local time of day as the tools' logs write it.
#ifndef KELM_TOOLS_SUPPORT_LOCALTIMETEXT_H
#define KELM_TOOLS_SUPPORT_LOCALTIMETEXT_H

#include <string>

// Now as HH:MM:SS.mmm, or with the date (YYYY-MM-DDTHH:MM:SS.mmm).
std::string LocalTimeText(bool withDate = false);

#endif
