#!/usr/bin/env python3
"""Turns the benchmark results of one scripts/bench run into one table
(printed as Markdown), a CSV file and an SVG bar chart. Standard library only.

  report.py QUOTE_JSON E2E_JSON CALLGRIND_TXT CSV_OUT SVG_OUT MACHINE_TXT

Every timed figure is given as the median of its repetitions with the spread
(minimum to maximum) beside it. A goal compares a figure built from two cases
with a threshold; its range is the one the extremes of the runs allow (for
ours/peer: fastest ours over slowest peer up to slowest ours over fastest
peer). The goal is judged "yes" or "no" only when that whole range lies on
one side of the threshold; otherwise it is "within noise".
"""
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


def main(argv):
    quote_json, e2e_json, callgrind_txt, csv_out, svg_out, machine_txt = argv[1:7]
    quote = load_quote_path(quote_json)
    e2e = load_end_to_end(e2e_json)
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
        r = Spread(o.median / p.median, o.low / p.high, o.high / p.low, None)
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
        goals.append(("quote path at most half the peer's time per quote",
                      f"ours/peer = {fmt_spread(r, 2)}", verdict(r.low, r.high, lambda x: x <= 0.5)))
        allocations = ours.get("allocs_per_quote")
        if allocations is not None:
            goals.append(("zero heap allocations per quote (in process)",
                          f"{allocations.high:.2f} per quote (largest of the repetitions)",
                          "yes" if allocations.high == 0 else "no"))

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
        o, p = tput_ours["quotes_per_second"], tput_plain["quotes_per_second"]
        r = Spread(o.median / p.median, o.low / p.high, o.high / p.low, None)
        out.append("")
        out.append(f"Ratio ours/plain reader: {r.median:.0%} of the medians ({r.low:.0%}–{r.high:.0%} "
                   "from the extremes)")
        add("throughput", "ratio", "ours_over_plain", r, "ratio")
        goals.append(("end-to-end throughput at least 60% of the plain reader's",
                      f"{r.median:.0%} ({r.low:.0%}–{r.high:.0%})", verdict(r.low, r.high, lambda x: x >= 0.6)))

    lat_ours = e2e.get("Latency/Ours")
    lat_plain = e2e.get("Latency/PlainReader")
    if lat_ours and lat_plain:
        out.append("")
        out.append(f"**End to end, latency** ({lat_ours['quotes'].median:,.0f} quotes per run at a fixed rate, "
                   f"{lat_ours['p50_us'].runs} runs of each receiver, interleaved; microseconds, "
                   "median of the runs, min–max in brackets)")
        out.append("")
        out.append("| receiver | p50 | p99 | p99.9 (median) | max (median) |")
        out.append("|---|---:|---:|---:|---:|")
        for label, b, short in (("ours (send to NotifyQuote)", lat_ours, "ours"),
                                ("plain reader (send to receipt)", lat_plain, "plain")):
            out.append(f"| {label} | {fmt_spread(b['p50_us'])} | {fmt_spread(b['p99_us'])} | "
                       f"{fmt(b['p999_us'].median)} | {fmt(b['max_us'].median)} |")
            for metric in ("p50_us", "p99_us", "p999_us", "max_us"):
                add("latency", short, metric, b[metric], "us")
        o, p = lat_ours["p50_us"], lat_plain["p50_us"]
        d = Spread(o.median - p.median, o.low - p.high, o.high - p.low, None)
        goals.append(("latency p50 within 2 us of the plain reader's",
                      f"{d.median:+.1f} us ({d.low:+.1f} to {d.high:+.1f})",
                      verdict(d.low, d.high, lambda x: x <= 2.0)))
        o, p = lat_ours["p99_us"], lat_plain["p99_us"]
        if p.low > 0:
            r = Spread(o.median / p.median, o.low / p.high, o.high / p.low, None)
            goals.append(("latency p99 within 1.5x the plain reader's",
                          f"{r.median:.2f}x ({r.low:.2f}x–{r.high:.2f}x)",
                          verdict(r.low, r.high, lambda x: x <= 1.5)))

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
                   "side of the threshold; otherwise within noise)")
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
    write_chart(svg_out, quote, tput_ours, tput_plain, lat_ours, lat_plain)


def write_chart(path, quote, tput_ours, tput_plain, lat_ours, lat_plain):
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
        panels.append(("Latency, microseconds (lower is better)",
                       [("ours p50", lat_ours["p50_us"]), ("reader p50", lat_plain["p50_us"]),
                        ("ours p99", lat_ours["p99_us"]), ("reader p99", lat_plain["p99_us"])], "us", 1.0))
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
