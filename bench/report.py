#!/usr/bin/env python3
"""Turns the benchmark results of one scripts/bench run into one table
(printed as Markdown), a CSV file and an SVG bar chart. Standard library only.

  report.py QUOTE_JSON E2E_JSON CALLGRIND_TXT CSV_OUT SVG_OUT MACHINE_TXT
"""
import csv
import json
import sys


def load_benchmarks(path):
    with open(path) as f:
        data = json.load(f)
    by_name = {}
    for b in data["benchmarks"]:
        # Repeated runs report aggregates: keep the median.
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        name = b.get("run_name", b["name"]).split("/iterations")[0]
        by_name[name] = b
    return by_name


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


def ns(b):
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[b["time_unit"]]
    return b["cpu_time"] * scale


def fmt(value, digits=1):
    if value is None:
        return "n/a"
    if abs(value) >= 100:
        return f"{value:,.0f}"
    return f"{value:.{digits}f}"


def main(argv):
    quote_json, e2e_json, callgrind_txt, csv_out, svg_out, machine_txt = argv[1:7]
    quote = load_benchmarks(quote_json)
    e2e = load_benchmarks(e2e_json)
    instr = load_callgrind(callgrind_txt)
    with open(machine_txt) as f:
        machine = f.read().strip()

    rows = []  # (section, case, metric, value, unit)

    def add(section, case, metric, value, unit):
        rows.append((section, case, metric, value, unit))

    cases = [("Ours", "ours: framing, ProcessPackage, decoder, conversion, NotifyQuote", "ours"),
             ("Limit", "limit: memcpy of the same bytes", "limit"),
             ("Peer", "peer: protobuf parse, copy, conversion, NotifyQuote", "peer")]
    out = []
    out.append(f"Machine: {machine}")
    out.append("")
    out.append("**Quote path, in process** (one 945-byte service-125 frame, 61 fields)")
    out.append("")
    out.append("| case | ns/quote | quotes/s | instructions/quote | heap allocations/quote |")
    out.append("|---|---:|---:|---:|---:|")
    for key, label, short in cases:
        b = quote.get(key)
        if b is None:
            continue
        t = ns(b)
        i = instr.get(short)
        a = b.get("allocs_per_quote")
        out.append(f"| {label} | {fmt(t)} | {fmt(1e9 / t)} | {fmt(i)} | {fmt(a, 2)} |")
        add("quote_path", short, "ns_per_quote", t, "ns")
        add("quote_path", short, "quotes_per_second", 1e9 / t, "1/s")
        if i is not None:
            add("quote_path", short, "instructions_per_quote", i, "instructions")
        add("quote_path", short, "allocations_per_quote", a, "allocations")
    ours, limit, peer = quote.get("Ours"), quote.get("Limit"), quote.get("Peer")
    goals = []
    if ours and limit and peer:
        r_limit = ns(ours) / ns(limit)
        r_peer = ns(ours) / ns(peer)
        out.append("")
        out.append(f"Ratios: ours/limit {r_limit:.1f}x in time; ours/peer {r_peer:.2f} in time"
                   + (f", {instr['ours'] / instr['peer']:.2f} in instructions"
                      if "ours" in instr and "peer" in instr else ""))
        add("quote_path", "ratio", "ours_over_limit_time", r_limit, "ratio")
        add("quote_path", "ratio", "ours_over_peer_time", r_peer, "ratio")
        if "ours" in instr and "peer" in instr:
            add("quote_path", "ratio", "ours_over_peer_instructions", instr["ours"] / instr["peer"], "ratio")
        goals.append(("quote path at most half the peer's time per quote",
                      f"ours/peer = {r_peer:.2f}", r_peer <= 0.5))
        goals.append(("zero heap allocations per quote",
                      f"{ours.get('allocs_per_quote', 0):.2f} per quote",
                      ours.get("allocs_per_quote", 1) == 0))

    tput_ours = e2e.get("EndToEnd/Throughput/Ours")
    tput_plain = e2e.get("EndToEnd/Throughput/PlainReader")
    if tput_ours and tput_plain:
        out.append("")
        out.append(f"**End to end, loopback TCP, throughput** ({tput_ours['quotes']:.0f} quotes)")
        out.append("")
        out.append("| receiver | quotes/s | MB/s |")
        out.append("|---|---:|---:|")
        for label, b, short in (("ours (NotifyQuote counts)", tput_ours, "ours"),
                                ("plain reader (reads only)", tput_plain, "plain")):
            out.append(f"| {label} | {fmt(b['quotes_per_second'])} | {fmt(b['mb_per_second'])} |")
            add("throughput", short, "quotes_per_second", b["quotes_per_second"], "1/s")
            add("throughput", short, "mb_per_second", b["mb_per_second"], "MB/s")
        ratio = tput_ours["quotes_per_second"] / tput_plain["quotes_per_second"]
        out.append("")
        out.append(f"Ratio ours/plain reader: {ratio:.0%}")
        add("throughput", "ratio", "ours_over_plain", ratio, "ratio")
        goals.append(("end-to-end throughput at least 60% of the plain reader's",
                      f"{ratio:.0%}", ratio >= 0.6))

    lat_ours = e2e.get("EndToEnd/Latency/Ours")
    lat_plain = e2e.get("EndToEnd/Latency/PlainReader")
    if lat_ours and lat_plain:
        out.append("")
        out.append(f"**End to end, latency** ({lat_ours['quotes']:.0f} quotes at a fixed rate; microseconds)")
        out.append("")
        out.append("| receiver | p50 | p99 | p99.9 | max |")
        out.append("|---|---:|---:|---:|---:|")
        for label, b, short in (("ours (send to NotifyQuote)", lat_ours, "ours"),
                                ("plain reader (send to receipt)", lat_plain, "plain")):
            out.append(f"| {label} | {fmt(b['p50_us'])} | {fmt(b['p99_us'])} | {fmt(b['p999_us'])} | "
                       f"{fmt(b['max_us'])} |")
            for metric in ("p50_us", "p99_us", "p999_us", "max_us"):
                add("latency", short, metric, b[metric], "us")
        d50 = lat_ours["p50_us"] - lat_plain["p50_us"]
        r99 = lat_ours["p99_us"] / lat_plain["p99_us"] if lat_plain["p99_us"] else float("inf")
        goals.append(("latency p50 within 2 us of the plain reader's", f"{d50:+.1f} us", d50 <= 2.0))
        goals.append(("latency p99 within 1.5x the plain reader's", f"{r99:.2f}x", r99 <= 1.5))

    if tput_ours:
        out.append("")
        out.append("**Memory** (resident set of the benchmark process, KiB)")
        out.append("")
        out.append("| before the client | client connected, idle | client under full-rate load (peak) |")
        out.append("|---:|---:|---:|")
        out.append(f"| {fmt(tput_ours['rss_base_kib'])} | {fmt(tput_ours['rss_idle_kib'])} | "
                   f"{fmt(tput_ours['rss_load_kib'])} |")
        for metric in ("rss_base_kib", "rss_idle_kib", "rss_load_kib"):
            add("memory", "ours", metric, tput_ours[metric], "KiB")

    if goals:
        out.append("")
        out.append("**Goals**")
        out.append("")
        out.append("| goal | measured | holds |")
        out.append("|---|---:|:---:|")
        for goal, measured, holds in goals:
            out.append(f"| {goal} | {measured} | {'yes' if holds else 'no'} |")
            add("goals", goal, "holds", 1 if holds else 0, "bool")

    print("\n".join(out))
    with open(csv_out, "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["section", "case", "metric", "value", "unit"])
        for row in rows:
            writer.writerow(row)
    write_chart(svg_out, quote, instr, tput_ours, tput_plain, lat_ours, lat_plain)


def write_chart(path, quote, instr, tput_ours, tput_plain, lat_ours, lat_plain):
    """Three panels of horizontal bars: ns per quote, quotes/s end to end,
    latency p50/p99."""
    panels = []
    bars = [(label, ns(quote[key])) for key, label in (("Ours", "ours"), ("Peer", "protobuf peer"),
                                                       ("Limit", "memcpy limit")) if key in quote]
    panels.append(("Quote path, ns per quote (lower is better)", bars, "ns"))
    if tput_ours and tput_plain:
        panels.append(("End to end, thousand quotes/s (higher is better)",
                       [("ours", tput_ours["quotes_per_second"] / 1e3),
                        ("plain reader", tput_plain["quotes_per_second"] / 1e3)], "k/s"))
    if lat_ours and lat_plain:
        panels.append(("Latency, microseconds (lower is better)",
                       [("ours p50", lat_ours["p50_us"]), ("reader p50", lat_plain["p50_us"]),
                        ("ours p99", lat_ours["p99_us"]), ("reader p99", lat_plain["p99_us"])], "us"))
    width, left, bar_h, gap = 640, 130, 18, 6
    y = 10
    parts = []
    colours = ["#3b6ea8", "#c0504d", "#9bbb59", "#8064a2"]
    for title, items, unit in panels:
        parts.append(f'<text x="10" y="{y + 14}" font-size="14" font-weight="bold">{title}</text>')
        y += 24
        top = max(v for _, v in items) or 1
        for i, (label, value) in enumerate(items):
            w = max(1, (width - left - 90) * value / top)
            parts.append(f'<text x="{left - 6}" y="{y + 13}" font-size="12" text-anchor="end">{label}</text>')
            parts.append(f'<rect x="{left}" y="{y}" width="{w:.1f}" height="{bar_h}" '
                         f'fill="{colours[i % len(colours)]}"/>')
            parts.append(f'<text x="{left + w + 4:.1f}" y="{y + 13}" font-size="12">{fmt(value)} {unit}</text>')
            y += bar_h + gap
        y += 14
    svg = (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{y}" '
           f'font-family="sans-serif"><rect width="100%" height="100%" fill="white"/>'
           + "".join(parts) + "</svg>\n")
    with open(path, "w") as f:
        f.write(svg)


if __name__ == "__main__":
    main(sys.argv)
