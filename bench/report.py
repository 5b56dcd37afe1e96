#!/usr/bin/env python3
"""Turns the benchmark results of one scripts/bench run into one table
(printed as Markdown), a CSV file and an SVG bar chart. Standard library only.

  report.py QUOTE_JSON E2E_JSON CALLGRIND_TXT CSV_OUT SVG_OUT MACHINE_TXT
            [--python PYTHON_JSON] [--latency E2E_LATENCY_JSON ...]

--latency names the results of further latency-only runs of bench_end_to_end
in the same invocation: the p50 differences are given for each run of the
comparison (E2E_JSON's first), and a goal that must hold "in every run"
is judged on all of them.

Every timed figure is given as the median of its repetitions with the spread
(minimum to maximum) beside it. A goal compares a figure built from two cases
with a threshold; its range is the one the extremes of the runs allow (for
ours/peer: fastest ours over slowest peer up to slowest ours over fastest
peer). The goal is judged "yes" or "no" only when that whole range lies on
one side of the threshold; otherwise it is "within noise".
"""
import argparse
import csv
import json
import statistics
import sys


class Spread:
    """Median, minimum and maximum of the repetitions of one figure."""

    def __init__(self, median, low, high, runs):
        self.median, self.low, self.high, self.runs = median, low, high, runs

    @staticmethod
    def of(values):
        return Spread(statistics.median(values), min(values), max(values), len(values))


def load_quote_path(path):
    """Per case, per counter (and "ns" for the CPU time per quote): the
    median, min and max aggregates of the repetitions; a single run gives
    all three the same value."""
    with open(path) as f:
        data = json.load(f)
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
    found = {}
    for b in data["benchmarks"]:
        name = b.get("run_name", b["name"]).split("/")[0]
        kind = b.get("aggregate_name", "single") if b.get("run_type") == "aggregate" else "single"
        if kind not in ("median", "min", "max", "single"):
            continue
        values = {"ns": b["cpu_time"] * scale[b["time_unit"]]}
        for key in ("allocs_per_quote", "frame_bytes"):
            if key in b:
                values[key] = b[key]
        found.setdefault(name, {})[kind] = values
    cases = {}
    for name, kinds in found.items():
        median = kinds.get("median", kinds.get("single"))
        low = kinds.get("min", median)
        high = kinds.get("max", median)
        if median is None:
            continue
        cases[name] = {key: Spread(median[key], low[key], high[key], None) for key in median}
    return cases


def load_end_to_end(path):
    """Per case ("Throughput/Ours", ...): every counter as a Spread over the
    runs named .../run:N, and under "first" the counters of the case's
    first run as they stand."""
    with open(path) as f:
        data = json.load(f)
    runs = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate" or b.get("error_occurred"):
            continue
        parts = b.get("run_name", b["name"]).split("/")
        case = "/".join(p for p in parts[1:] if not p.startswith(("run:", "iterations:", "manual_time")))
        runs.setdefault(case, []).append(b)
    cases = {}
    for case, items in runs.items():
        keys = [k for k, v in items[0].items() if isinstance(v, (int, float)) and k not in
                ("family_index", "per_family_instance_index", "repetitions", "repetition_index",
                 "threads", "iterations")]
        cases[case] = {k: Spread.of([float(b[k]) for b in items]) for k in keys}
        cases[case]["first"] = items[0]
    return cases


def load_callgrind(path):
    counts = {}
    try:
        with open(path) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 2:
                    counts[parts[0]] = float(parts[1])
    except OSError:
        pass
    return counts


def load_python(path):
    """bench_python.py's figures: per case, the rates and drop fractions of
    its runs; None without the file."""
    if not path:
        return None
    try:
        with open(path) as f:
            return json.load(f)
    except OSError:
        return None


def ratio_spread(ours, base):
    """ours/base from two Spreads: the medians' ratio, and what the extremes
    allow."""
    return Spread(ours.median / base.median, ours.low / base.high, ours.high / base.low, None)


def difference_spread(ours, base):
    return Spread(ours.median - base.median, ours.low - base.high, ours.high - base.low, None)


def worst(verdicts):
    """One verdict for a goal judged on several invocations: "yes" only when
    every one says so, "no" when any says no."""
    if all(v == "yes" for v in verdicts):
        return "yes"
    if any(v == "no" for v in verdicts):
        return "no"
    return "within noise"


def fmt(value, digits=1):
    if value is None:
        return "n/a"
    if abs(value) >= 100:
        return f"{value:,.0f}"
    return f"{value:.{digits}f}"


def fmt_spread(s, digits=1, scale=1.0):
    return f"{fmt(s.median * scale, digits)} ({fmt(s.low * scale, digits)}–{fmt(s.high * scale, digits)})"


def verdict(low, high, holds):
    """holds(x) says whether figure x meets the goal; the figure's range is
    [low, high]."""
    at_low, at_high = holds(low), holds(high)
    if at_low and at_high:
        return "yes"
    if not at_low and not at_high:
        return "no"
    return "within noise"


def latency_tables(out, goals, add, runs):
    """The latency table of the first run of the comparison, the p50
    differences of every run, and the latency goals."""
    first = runs[0]
    receivers = [("ours, sleeping (send to NotifyQuote)", "Latency/Ours", "ours"),
                 ("ours, spinning (send to NotifyQuote)", "Latency/OursSpinning", "ours_spinning"),
                 ("plain reader (send to receipt)", "Latency/PlainReader", "plain")]
    present = [(label, first[key], short) for label, key, short in receivers if key in first]
    if "Latency/Ours" not in first or "Latency/PlainReader" not in first:
        return
    ours = first["Latency/Ours"]
    out.append("")
    out.append(f"**End to end, latency** ({ours['quotes'].median:,.0f} quotes per run at a fixed rate, "
               f"{ours['p50_us'].runs} runs of each receiver, interleaved; microseconds, "
               "median of the runs, min–max in brackets)")
    out.append("")
    out.append("| receiver | p50 | p99 | p99.9 | max (median) | heap allocations/quote (most) |")
    out.append("|---|---:|---:|---:|---:|---:|")
    for label, b, short in present:
        allocations = b.get("allocs_per_quote")
        out.append(f"| {label} | {fmt_spread(b['p50_us'])} | {fmt_spread(b['p99_us'])} | "
                   f"{fmt_spread(b['p999_us'])} | {fmt(b['max_us'].median)} | "
                   f"{fmt(allocations.high if allocations else None, 2)} |")
        for metric in ("p50_us", "p99_us", "p999_us", "max_us"):
            add("latency", short, metric, b[metric], "us")

    # p50 differences, run of the comparison by run.
    sleeping, spinning = [], []
    out.append("")
    out.append("**p50 difference from the plain reader** (µs; median of the runs, and the range the extremes "
               "allow)")
    out.append("")
    out.append("| run of the comparison | ours sleeping − plain reader | ours spinning − plain reader |")
    out.append("|---|---:|---:|")
    for number, run in enumerate(runs, 1):
        if "Latency/Ours" not in run or "Latency/PlainReader" not in run:
            continue
        plain = run["Latency/PlainReader"]["p50_us"]
        d = difference_spread(run["Latency/Ours"]["p50_us"], plain)
        sleeping.append(d)
        add("latency", f"run {number}", "p50_ours_minus_plain_us", d, "us")
        cell = "n/a"
        if "Latency/OursSpinning" in run:
            ds = difference_spread(run["Latency/OursSpinning"]["p50_us"], plain)
            spinning.append(ds)
            add("latency", f"run {number}", "p50_spinning_minus_plain_us", ds, "us")
            cell = f"{ds.median:+.1f} ({ds.low:+.1f} to {ds.high:+.1f})"
        out.append(f"| {number} | {d.median:+.1f} ({d.low:+.1f} to {d.high:+.1f}) | {cell} |")

    def listed(spreads):
        return "; ".join(f"{d.median:+.1f} µs ({d.low:+.1f} to {d.high:+.1f})" for d in spreads)

    every = "every run" if len(sleeping) > 1 else "the one run"
    goals.append((f"1. default mode: p50 within 1.0 µs of the plain reader's, in {every} of the comparison",
                  listed(sleeping), worst([verdict(d.low, d.high, lambda x: x <= 1.0) for d in sleeping])))
    for metric, name in (("p99_us", "p99"), ("p999_us", "p99.9")):
        verdicts, measured = [], []
        for run in runs:
            if "Latency/Ours" not in run or "Latency/PlainReader" not in run:
                continue
            o, p = run["Latency/Ours"][metric], run["Latency/PlainReader"][metric]
            # Within the plain reader's spread: ours no slower than its slowest run.
            verdicts.append("yes" if o.median <= p.high else ("no" if o.low > p.high else "within noise"))
            measured.append(f"{fmt(o.median)} against {fmt(p.low)}–{fmt(p.high)}")
        goals.append((f"1. default mode: {name} within the plain reader's spread", "; ".join(measured),
                      worst(verdicts)))
    allocations = [run["Latency/Ours"]["allocs_per_quote"].high for run in runs
                   if "allocs_per_quote" in run.get("Latency/Ours", {})]
    if allocations:
        goals.append(("1. default mode: zero heap allocations per quote over a real socket",
                      f"{max(allocations):.2f} per quote (most of any run)",
                      "yes" if max(allocations) == 0 else "no"))
    if spinning:
        goals.append(("2. spinning mode: p50 below the plain reader's, outside the spread", listed(spinning),
                      worst([verdict(d.low, d.high, lambda x: x < 0) for d in spinning])))


def python_table(out, goals, add, python):
    """The Python cases' rates as shares of the C++ application's, with the
    drops, and the Python goals."""
    if not python:
        return
    runs, drops = python["runs"], python["dropped"]
    if not runs.get("cpp"):
        return
    cpp = Spread.of(runs["cpp"])
    out.append("")
    out.append(f"**Python, end to end** ({python['quotes']:,} quotes per run, {cpp.runs} runs per case, "
               "interleaved; quotes/s delivered, and as a share of the C++ application's: median, and the "
               "range the extremes allow)")
    out.append("")
    out.append("| receiver | thousand quotes/s | share of the C++ application's | dropped (most in a run) |"
               " processor time per quote, µs |")
    out.append("|---|---:|---:|---:|---:|")
    cpu = python.get("cpu_us_per_quote", {})
    names = {"cpp": "C++ application (NotifyQuote counts)",
             "queue": "C++ application, session queue read by a second thread",
             "objects": "Python, one Quote object each", "batch": "Python, NumPy batches (read_quotes(out=...))"}
    shares = {}
    for case in ("cpp", "queue", "objects", "batch"):
        if not runs.get(case):
            continue
        rate = Spread.of(runs[case])
        share = ratio_spread(rate, cpp)
        shares[case] = share
        dropped = max(drops.get(case, [0]))
        time = fmt_spread(Spread.of(cpu[case]), 2) if cpu.get(case) else "n/a"
        out.append(f"| {names[case]} | {fmt_spread(rate, 0, 1e-3)} | {share.median:.0%} "
                   f"({share.low:.0%}–{share.high:.0%}) | {dropped:.1%} | {time} |")
        add("python", case, "quotes_per_second", rate, "1/s")
        add("python", case, "share_of_cpp", share, "ratio")
        add("python", case, "dropped_most", dropped, "fraction")
    prefilled = python.get("prefilled_objects_per_second")
    if prefilled:
        alone = Spread.of(prefilled)
        out.append("")
        out.append(f"Python alone, one Quote object each from a queue filled in advance: "
                   f"{fmt_spread(alone, 0, 1e-3)} thousand/s.")
        add("python", "prefilled_objects", "objects_per_second", alone, "1/s")
    if "batch" in shares:
        b = shares["batch"]
        dropped = max(drops.get("batch", [0]))
        holds = "no" if dropped > 0 else verdict(b.low, b.high, lambda x: x >= 0.8)
        goals.append(("4. Python NumPy batches at least 80% of the C++ application's rate, no quote dropped",
                      f"{b.median:.0%} ({b.low:.0%}–{b.high:.0%}), {dropped:.1%} dropped at most", holds))
    if "objects" in shares:
        o = shares["objects"]
        goals.append(("4. Python, one object at a time, at least 50% of the C++ application's rate",
                      f"{o.median:.0%} ({o.low:.0%}–{o.high:.0%})", verdict(o.low, o.high, lambda x: x >= 0.5)))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for name in ("quote_json", "e2e_json", "callgrind_txt", "csv_out", "svg_out", "machine_txt"):
        parser.add_argument(name)
    parser.add_argument("--python", help="bench_python.py's python.json")
    parser.add_argument("--latency", action="append", default=[], help="a further latency run's JSON")
    args = parser.parse_args(argv[1:])
    quote_json, e2e_json, callgrind_txt = args.quote_json, args.e2e_json, args.callgrind_txt
    csv_out, svg_out, machine_txt = args.csv_out, args.svg_out, args.machine_txt
    quote = load_quote_path(quote_json)
    e2e = load_end_to_end(e2e_json)
    latency_runs = [e2e] + [load_end_to_end(path) for path in args.latency]
    python = load_python(args.python)
    instr = load_callgrind(callgrind_txt)
    with open(machine_txt) as f:
        machine = f.read().strip()

    rows = []  # section, case, metric, median, min, max, unit

    def add(section, case, metric, value, unit):
        if isinstance(value, Spread):
            rows.append((section, case, metric, value.median, value.low, value.high, unit))
        else:
            rows.append((section, case, metric, value, value, value, unit))

    out = [f"Machine: {machine}", ""]
    goals = []
    quote_cases = [("Ours", "ours: framing, ProcessPackage, decoder, conversion, NotifyQuote", "ours"),
                   ("Peer", "peer: protobuf parse, copy, conversion, NotifyQuote", "peer"),
                   ("Floor", "floor: one memcpy of the frame, nothing decoded", "floor")]
    if quote:
        out.append("**Quote path, in process** (one 945-byte service-125 frame, 61 fields; "
                   "median of the repetitions, min–max in brackets)")
        out.append("")
        out.append("| case | ns/quote | quotes/s (median) | instructions/quote | heap allocations/quote |")
        out.append("|---|---:|---:|---:|---:|")
        for key, label, short in quote_cases:
            b = quote.get(key)
            if b is None:
                continue
            t = b["ns"]
            i = instr.get(short)
            a = b.get("allocs_per_quote")
            out.append(f"| {label} | {fmt_spread(t)} | {fmt(1e9 / t.median)} | {fmt(i)} | "
                       f"{fmt(a.high if a else None, 2)} |")
            add("quote_path", short, "ns_per_quote", t, "ns")
            if i is not None:
                add("quote_path", short, "instructions_per_quote", i, "instructions")
            if a is not None:
                add("quote_path", short, "allocations_per_quote", a, "allocations")
    ours, peer, floor = quote.get("Ours"), quote.get("Peer"), quote.get("Floor")
    if ours and peer:
        o, p = ours["ns"], peer["ns"]
        r = ratio_spread(o, p)
        text = f"ours/peer {fmt_spread(r, 2)} in time"
        add("quote_path", "ratio", "ours_over_peer_time", r, "ratio")
        if "ours" in instr and "peer" in instr:
            ri = instr["ours"] / instr["peer"]
            text += f", {ri:.2f} in instructions"
            add("quote_path", "ratio", "ours_over_peer_instructions", ri, "ratio")
        if floor:
            rf = o.median / floor["ns"].median
            text += f"; ours is {rf:.0f}x the floor in time"
            add("quote_path", "ratio", "ours_over_floor_time", rf, "ratio")
        out.append("")
        out.append("Ratios: " + text)
        if "ours" in instr:
            goals.append(("3. decoder and conversion at most 1,250 instructions per quote",
                          f"{fmt(instr['ours'])} (peer {fmt(instr.get('peer'))}, floor {fmt(instr.get('floor'))})",
                          "yes" if instr["ours"] <= 1250 else "no"))
        goals.append(("3. decoder and conversion at most 0.4 of the peer's time",
                      f"ours/peer = {fmt_spread(r, 2)}", verdict(r.low, r.high, lambda x: x <= 0.4)))
        allocations = ours.get("allocs_per_quote")
        if allocations is not None:
            goals.append(("zero heap allocations per quote (in process)",
                          f"{allocations.high:.2f} per quote (largest of the repetitions)",
                          "yes" if allocations.high == 0 else "no"))
    if "wire" in instr:
        out.append("")
        out.append(f"Over the socket, one quote per wake-up (bench_wire_loop): the network thread runs "
                   f"{fmt(instr['wire'])} instructions per quote, waiting, reading and dispatching included.")
        add("quote_path", "wire", "network_thread_instructions_per_quote", instr["wire"], "instructions")

    tput_ours = e2e.get("Throughput/Ours")
    tput_plain = e2e.get("Throughput/PlainReader")
    if tput_ours and tput_plain:
        out.append("")
        out.append(f"**End to end, loopback TCP, throughput** ({tput_ours['quotes'].median:,.0f} quotes per run, "
                   f"{tput_ours['quotes_per_second'].runs} runs of each receiver, interleaved; "
                   "median, min–max in brackets)")
        out.append("")
        out.append("| receiver | thousand quotes/s | MB/s (median) |")
        out.append("|---|---:|---:|")
        for label, b, short in (("ours (NotifyQuote counts)", tput_ours, "ours"),
                                ("plain reader (reads only)", tput_plain, "plain")):
            out.append(f"| {label} | {fmt_spread(b['quotes_per_second'], 0, 1e-3)} | "
                       f"{fmt(b['mb_per_second'].median)} |")
            add("throughput", short, "quotes_per_second", b["quotes_per_second"], "1/s")
            add("throughput", short, "mb_per_second", b["mb_per_second"], "MB/s")
        r = ratio_spread(tput_ours["quotes_per_second"], tput_plain["quotes_per_second"])
        out.append("")
        out.append(f"Ratio ours/plain reader: {r.median:.0%} of the medians ({r.low:.0%}–{r.high:.0%} "
                   "from the extremes)")
        add("throughput", "ratio", "ours_over_plain", r, "ratio")
        goals.append(("1. default mode: throughput at least the plain reader's",
                      f"{r.median:.0%} ({r.low:.0%}–{r.high:.0%})", verdict(r.low, r.high, lambda x: x >= 1.0)))

    latency_tables(out, goals, add, latency_runs)
    python_table(out, goals, add, python)

    # Memory from the first run only: it is the first thing the process does,
    # while later runs start with the pages earlier ones left resident.
    first = tput_ours["first"] if tput_ours else {}
    if "rss_peak_kib" in first:
        out.append("")
        out.append("**Memory** (resident set of the benchmark process, pusher included, KiB; "
                   "the first throughput run, before any other case has run)")
        out.append("")
        out.append("| before the client (VmRSS) | client connected, idle (VmRSS) | "
                   "peak under full-rate load (VmHWM) |")
        out.append("|---:|---:|---:|")
        out.append(f"| {fmt(first['rss_base_kib'])} | {fmt(first['rss_idle_kib'])} | "
                   f"{fmt(first['rss_peak_kib'])} |")
        if first.get("rss_peak_reset", 1) < 1:
            out.append("")
            out.append("The kernel did not reset the peak before the run: the peak is the process's since its start.")
        for metric in ("rss_base_kib", "rss_idle_kib", "rss_peak_kib"):
            add("memory", "ours", metric, first[metric], "KiB")

    if goals:
        out.append("")
        out.append("**Goals** (judged only where the whole range from the extremes of the runs lies on one "
                   "side of the threshold; otherwise within noise; numbered by area: 1 the default mode, "
                   "2 the spinning mode, 3 the decoder, 4 Python)")
        out.append("")
        out.append("| goal | measured: median (range) | holds |")
        out.append("|---|---:|:---:|")
        for goal, measured, holds in goals:
            out.append(f"| {goal} | {measured} | {holds} |")
            add("goals", goal, "holds", {"yes": 1, "no": 0}.get(holds, 0.5), "1 yes, 0 no, 0.5 within noise")

    print("\n".join(out))
    with open(csv_out, "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["section", "case", "metric", "median", "min", "max", "unit"])
        for row in rows:
            writer.writerow(row)
    write_chart(svg_out, quote, tput_ours, tput_plain, e2e.get("Latency/Ours"), e2e.get("Latency/PlainReader"),
                e2e.get("Latency/OursSpinning"))


def write_chart(path, quote, tput_ours, tput_plain, lat_ours, lat_plain, lat_spinning):
    """Three panels of horizontal bars (the median) with a line from the
    minimum to the maximum: ns per quote, quotes/s end to end, latency
    p50/p99."""
    panels = []
    bars = [(label, quote[key]["ns"]) for key, label in (("Ours", "ours"), ("Peer", "protobuf peer"),
                                                         ("Floor", "memcpy floor")) if key in quote]
    panels.append(("Quote path, ns per quote (lower is better)", bars, "ns", 1.0))
    if tput_ours and tput_plain:
        panels.append(("End to end, thousand quotes/s (higher is better)",
                       [("ours", tput_ours["quotes_per_second"]),
                        ("plain reader", tput_plain["quotes_per_second"])], "k/s", 1e-3))
    if lat_ours and lat_plain:
        bars = [("ours p50", lat_ours["p50_us"]), ("reader p50", lat_plain["p50_us"])]
        if lat_spinning:
            bars.append(("spinning p50", lat_spinning["p50_us"]))
        bars += [("ours p99", lat_ours["p99_us"]), ("reader p99", lat_plain["p99_us"])]
        panels.append(("Latency, microseconds (lower is better)", bars, "us", 1.0))
    width, left, bar_h, gap = 720, 130, 18, 6
    y = 10
    parts = []
    colours = ["#3b6ea8", "#c0504d", "#9bbb59", "#8064a2"]
    for title, items, unit, scale in panels:
        parts.append(f'<text x="10" y="{y + 14}" font-size="14" font-weight="bold">{title}</text>')
        y += 24
        top = max(s.high * scale for _, s in items) or 1
        span = width - left - 200
        for i, (label, s) in enumerate(items):
            w = max(1, span * s.median * scale / top)
            x0, x1 = left + span * s.low * scale / top, left + span * s.high * scale / top
            parts.append(f'<text x="{left - 6}" y="{y + 13}" font-size="12" text-anchor="end">{label}</text>')
            parts.append(f'<rect x="{left}" y="{y}" width="{w:.1f}" height="{bar_h}" '
                         f'fill="{colours[i % len(colours)]}"/>')
            parts.append(f'<line x1="{x0:.1f}" y1="{y + bar_h / 2}" x2="{x1:.1f}" y2="{y + bar_h / 2}" '
                         f'stroke="black" stroke-width="1.5"/>')
            parts.append(f'<text x="{max(left + w, x1) + 4:.1f}" y="{y + 13}" font-size="12">'
                         f'{fmt(s.median * scale)} {unit} ({fmt(s.low * scale)}–{fmt(s.high * scale)})</text>')
            y += bar_h + gap
        y += 14
    svg = (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{y}" '
           f'font-family="sans-serif"><rect width="100%" height="100%" fill="white"/>'
           + "".join(parts) + "</svg>\n")
    with open(path, "w") as f:
        f.write(svg)


if __name__ == "__main__":
    main(sys.argv)
