#!/usr/bin/env python3
"""Prints the table of `make bench` from the samples that run.sh collected.

Each sample line is "name value"; a figure is the median of its samples, and every row sets a
figure against the baseline measured in the same run. Ratios are figure / baseline, so for
times, sizes and memory lower is better and for throughput higher is better; the goal column
says which way each one points. Rows whose samples are missing (parts left out) are skipped.
"""

import statistics
import sys

MIB = 1024 * 1024


def load(path):
    samples = {}
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            fields = line.split()
            if len(fields) != 2:
                continue
            try:
                value = float(fields[1])
            except ValueError:
                continue
            samples.setdefault(fields[0], []).append(value)
    return samples


class Figures:
    def __init__(self, samples):
        self.samples = samples

    def has(self, *names):
        return all(name in self.samples for name in names)

    def median(self, name):
        return statistics.median(self.samples[name])

    def runs(self, name):
        return len(self.samples[name])


def rows(f):
    """(figure, value, unit, baseline, baseline value, ratio, goal, met, runs[, context]) per
    row; the context is a further figure for comparison, shown in the last column."""
    out = []
    if f.has("size_setup", "size_floor"):
        setup, floor = f.median("size_setup"), f.median("size_floor")
        out.append(("exe size", setup, "B", "floor program", floor, setup / floor,
                    "<= 1.2x", setup / floor <= 1.2, 1))
    if f.has("startup_setup", "startup_floor"):
        setup, floor = f.median("startup_setup") * 1000, f.median("startup_floor") * 1000
        out.append(("start-up to address page", setup, "ms", "minimal dialog", floor,
                    setup / floor, "<= 1.1x", setup / floor <= 1.1, f.runs("startup_setup")))
    if f.has("download_mib"):
        mib = f.median("download_mib")
        # The engine against the same platform calls in a minimal loop, over both schemes;
        # curl, and over http the moniker download that carried it before, for context.
        for scheme, goal in (("https", 0.9), ("http", 0.95)):
            name = "direct_%s_seconds" % scheme
            floor_name = "floor_wininet_%s_seconds" % scheme
            if not f.has(name, floor_name):
                continue
            rate = mib / f.median(name)
            base = mib / f.median(floor_name)
            context = []
            if f.has("curl_%s_seconds" % scheme):
                context.append("curl %s MiB/s" % number(mib / f.median("curl_%s_seconds" % scheme)))
            if f.has("floor_moniker_%s_seconds" % scheme):
                context.append("moniker floor %s MiB/s"
                               % number(mib / f.median("floor_moniker_%s_seconds" % scheme)))
            out.append(("direct engine %s %d MiB" % (scheme, mib), rate, "MiB/s",
                        "wininet floor %s" % scheme, base, rate / base, ">= %.2fx" % goal,
                        rate / base >= goal, f.runs(name), ", ".join(context)))
        if f.has("direct_https_peak", "direct_small_peak"):
            peak = f.median("direct_https_peak") / MIB
            small = f.median("direct_small_peak") / MIB
            out.append(("direct peak memory, %d MiB" % mib, peak, "MiB",
                        "same, %d MiB file" % f.median("small_download_mib"), small,
                        peak / small, "flat (~1.0x)", peak / small <= 1.1,
                        f.runs("direct_https_peak")))
    if f.has("plain_lines_per_s", "mode2_lines_per_s", "mode3_lines_per_s"):
        plain = f.median("plain_lines_per_s")
        for mode, goal in ((2, 1.3), (3, None)):
            rate = f.median("mode%d_lines_per_s" % mode)
            # Time per line against the plain loop's time per line.
            slowdown = plain / rate
            out.append(("trace mode %d, 2 threads" % mode, rate, "lines/s",
                        "fprintf+fflush", plain, slowdown,
                        "<= %.1fx time/line" % goal if goal else "-",
                        slowdown <= goal if goal else None, f.runs("plain_lines_per_s")))
    if f.has("scope_off_ns", "bare_stream_ns"):
        scope, bare = f.median("scope_off_ns"), f.median("bare_stream_ns")
        out.append(("scope, tracing off", scope, "ns", "bare ostream", bare, scope / bare,
                    "<= 1.1x", scope / bare <= 1.1, f.runs("scope_off_ns")))
    if f.has("setup_seconds", "payload_installer_seconds", "payload_agent_seconds",
             "startup_floor"):
        # Neither the page timers of an unattended run nor the two programs it starts and
        # waits for are the setup's own time; everything else is, its own start included.
        timers = 0.3 + 2 * 0.1
        payloads = f.median("payload_installer_seconds") + f.median("payload_agent_seconds")
        own = (f.median("setup_seconds") - timers - payloads) * 1000
        floor = f.median("startup_floor") * 1000
        out.append(("automatic setup, own overhead", own, "ms",
                    "minimal dialog start", floor, own / floor, "< 500 ms", own < 500,
                    f.runs("setup_seconds")))
    return out


def number(value):
    if value >= 1000:
        return "%.0f" % value
    if value >= 10:
        return "%.1f" % value
    return "%.2f" % value


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: report.py SAMPLES")
    table = rows(Figures(load(sys.argv[1])))
    header = ("figure", "median", "unit", "baseline", "median", "ratio", "goal", "met", "n",
              "context")
    lines = [header]
    for row in table:
        figure, value, unit, base, base_value, ratio, goal, met, runs = row[:9]
        context = row[9] if len(row) > 9 else ""
        lines.append((figure, number(value), unit, base, number(base_value), "%.2fx" % ratio,
                      goal, "-" if met is None else ("yes" if met else "NO"), str(runs), context))
    widths = [max(len(line[i]) for line in lines) for i in range(len(header))]
    right = {1, 4, 5, 8}
    for line in lines:
        cells = [cell.rjust(widths[i]) if i in right else cell.ljust(widths[i])
                 for i, cell in enumerate(line)]
        print("  ".join(cells).rstrip())


if __name__ == "__main__":
    main()
