// History answers and the link's figures for Python: each query waits (the
// interpreter lock released, Ctrl-C honoured) for the session's whole answer
// and returns it as a NumPy array of the caller's dtype, whose itemsize must
// be the C++ record's; the records are copied in one piece.
#ifndef KELM_PYTHON_HISTORYARRAYS_H
#define KELM_PYTHON_HISTORYARRAYS_H

#include <pybind11/pybind11.h>

#include "CPythonSession.h"

namespace HistoryArrays
{

/// Adds to the Session type:
///   minute_bars(code, start, end, service, dtype, timeout)
///   day_bars(code, start, end, dtype, timeout)
///   trades(code, date, dtype, timeout)
/// each returning (array, failure, rsp_no, rsp_desc): failure None and the
/// records, or failure "refused", "timeout", "not_connected" or "closed"
/// and array None; and link_stats, a dict of LinkStatsRecord's figures.
void Bind(pybind11::class_<CPythonSession>& session);

}  // namespace HistoryArrays

#endif
