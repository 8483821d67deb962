#!/usr/bin/env python3
"""Prints the table of `make bench` from the samples that run.sh collected.

    report.py [LABEL=]SAMPLES[,SAMPLES...] ...

One column group per build (LABEL), one samples file per whole run. Each sample line is
"name value". Every row sets a figure against the floor measured in the same run, figure /
floor, so for times, sizes and memory lower is better and for throughput higher is better; the
goal column says which way each one points. Where each sample of the figure was taken next to
one of its floor, a run's ratio is the median of those pairs' ratios, so that what drifts
while a run goes on (the host, the Wine server) weighs on both sides of each ratio alike;
elsewhere it is the figure's median over the floor's median. A figure's cell shows its median
and, in brackets, the least and greatest sample of all runs. With several runs the ratio is the median of the runs' ratios, each run's
ratio listed after it, and the goal counts as met only on that median. Rows whose samples are
missing (parts left out) are skipped.
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


class Row:
    """One figure against its floor: the samples of each, already in the row's unit, and
    the goal as a test on the ratio (or on the figure itself, for the setup's overhead)."""

    def __init__(self, figure, unit, values, floor, floor_values, goal, met, context="",
                 absolute=False, paired=False):
        self.figure, self.unit, self.values = figure, unit, values
        self.floor, self.floor_values = floor, floor_values
        self.goal, self.met, self.context = goal, met, context
        # A goal on the figure itself: its floor is shown for scale, and no ratio is judged.
        self.absolute = absolute
        # The i-th sample of the figure was taken next to the i-th of the floor.
        self.paired = paired and len(values) == len(floor_values)

    def ratio(self):
        if self.paired:
            return statistics.median(v / f for v, f in zip(self.values, self.floor_values))
        return statistics.median(self.values) / statistics.median(self.floor_values)


def rates(mib, seconds):
    return [mib / s for s in seconds]


def rows(s):
    """The rows of one whole run's samples s, in table order."""
    def has(*names):
        return all(name in s for name in names)

    def median(name):
        return statistics.median(s[name])

    out = []
    if has("size_setup", "size_floor"):
        out.append(Row("exe size", "B", s["size_setup"], "floor program", s["size_floor"],
                       "<= 1.2x", lambda r, v: r <= 1.2))
    if has("size_stamp", "size_floor"):
        # A goal on the size itself: the shipped 32-bit tool stays under 400 KB.
        out.append(Row("velmora-stamp.exe size", "B", s["size_stamp"], "floor program",
                       s["size_floor"], "< 400 KB", lambda r, v: v < 400 * 1024, absolute=True))
    if has("startup_setup", "startup_floor"):
        out.append(Row("start-up to address page", "ms", [v * 1000 for v in s["startup_setup"]],
                       "minimal dialog", [v * 1000 for v in s["startup_floor"]], "<= 1.1x",
                       lambda r, v: r <= 1.1, paired=True))
    if has("download_mib"):
        mib = median("download_mib")
        # The engine against the same platform calls in a minimal loop, over both schemes;
        # curl, and over http the moniker download that carried it before, for context.
        for scheme, goal in (("https", 0.9), ("http", 0.95)):
            name = "direct_%s_seconds" % scheme
            floor_name = "floor_wininet_%s_seconds" % scheme
            if not has(name, floor_name):
                continue
            context = []
            if has("curl_%s_seconds" % scheme):
                context.append("curl %s MiB/s" % number(mib / median("curl_%s_seconds" % scheme)))
            if has("floor_moniker_%s_seconds" % scheme):
                context.append("moniker floor %s MiB/s"
                               % number(mib / median("floor_moniker_%s_seconds" % scheme)))
            out.append(Row("direct engine %s %d MiB" % (scheme, mib), "MiB/s",
                           rates(mib, s[name]), "wininet floor %s" % scheme,
                           rates(mib, s[floor_name]), ">= %.2fx" % goal,
                           lambda r, v, goal=goal: r >= goal, ", ".join(context), paired=True))
        if has("direct_https_peak", "direct_small_peak"):
            out.append(Row("direct peak memory, %d MiB" % mib, "MiB",
                           [v / MIB for v in s["direct_https_peak"]],
                           "same, %d MiB file" % median("small_download_mib"),
                           [v / MIB for v in s["direct_small_peak"]], "flat (~1.0x)",
                           lambda r, v: r <= 1.1))
    # Time per line against the floor's time per line.
    for mode, floor, floor_name, goal, label in (
            (2, "plain", "fprintf+fflush", 1.3, ""),
            (3, "append", "open+append+close", 1.5, ""),
            (3, "proved_append", "open+prove+append+close", 1.5, ", against its proof")):
        name, floor_key = "mode%d_lines_per_s" % mode, "%s_lines_per_s" % floor
        if has(name, floor_key):
            out.append(Row("trace mode %d, 2 threads%s" % (mode, label), "ms/1k lines",
                           [1e6 / v for v in s[name]], floor_name,
                           [1e6 / v for v in s[floor_key]], "<= %.1fx" % goal,
                           lambda r, v, goal=goal: r <= goal, paired=True))
    # A scope is a class derived from a stream; the derived stream shows what that costs.
    for floor, floor_name, label in (("bare_stream", "bare ostream", ""),
                                     ("derived_stream", "derived ostream", ", against a derived stream")):
        if has("scope_off_ns", floor + "_ns"):
            out.append(Row("scope, tracing off" + label, "ns", s["scope_off_ns"], floor_name,
                           s[floor + "_ns"], "<= 1.1x", lambda r, v: r <= 1.1, paired=True))
    if has("setup_seconds", "payload_installer_seconds", "payload_agent_seconds",
           "startup_floor"):
        # Neither the page timers of an unattended run nor the two programs it starts and
        # waits for are the setup's own time; everything else is, its own start included.
        timers = 0.3 + 2 * 0.1
        payloads = median("payload_installer_seconds") + median("payload_agent_seconds")
        own = [(v - timers - payloads) * 1000 for v in s["setup_seconds"]]
        out.append(Row("automatic setup, own overhead", "ms", own, "minimal dialog start",
                       [v * 1000 for v in s["startup_floor"]], "< 500 ms",
                       lambda r, v: v < 500, absolute=True))
    if has("pin_check_ms", "pin_floor_ms"):
        out.append(Row("publisher check, signed fixture", "ms", s["pin_check_ms"],
                       "bare WinVerifyTrust", s["pin_floor_ms"], "<= 1.1x",
                       lambda r, v: r <= 1.1, paired=True))
    return out


def number(value):
    if value >= 1000:
        return "%.0f" % value
    if value >= 10:
        return "%.1f" % value
    return "%.2f" % value


def spread(values):
    return "%s (%s-%s)" % (number(statistics.median(values)), number(min(values)),
                           number(max(values)))


class Column:
    """One build's whole runs, row by row."""

    def __init__(self, label, paths):
        self.label = label
        self.runs = [{row.figure: row for row in rows(load(path))} for path in paths]

    def cells(self, figure):
        found = [run[figure] for run in self.runs if figure in run]
        if not found:
            return ["-"] * 4
        values = [v for row in found for v in row.values]
        floors = [v for row in found for v in row.floor_values]
        ratios = [row.ratio() for row in found]
        ratio = statistics.median(ratios)
        medians = [statistics.median(row.values) for row in found]
        met = found[0].met(ratio, statistics.median(medians))
        if found[0].absolute:
            # Each run's median instead: the goal is judged on the median of those.
            ratio_text = "-"
            if len(medians) > 1:
                ratio_text += " (%s)" % " ".join(number(m) for m in medians)
        else:
            ratio_text = "%.2fx" % ratio
            if len(ratios) > 1:
                ratio_text += " (%s)" % " ".join("%.2f" % r for r in ratios)
        return [spread(values), spread(floors), ratio_text, "yes" if met else "NO"]


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: report.py [LABEL=]SAMPLES[,SAMPLES...] ...")
    columns = []
    for argument in sys.argv[1:]:
        label, _, paths = argument.rpartition("=")
        columns.append(Column(label or "this build", paths.split(",")))
    order, described = [], {}
    for column in columns:
        for run in column.runs:
            for figure, row in run.items():
                if figure not in described:
                    order.append(figure)
                    described[figure] = row
    header = ["figure", "unit", "floor", "goal"]
    for column in columns:
        runs = len(column.runs)
        suffix = "" if runs == 1 else ", %d runs" % runs
        header += ["%s%s" % (column.label, suffix), "floor", "ratio", "met"]
    header.append("context")
    lines = [header]
    for figure in order:
        row = described[figure]
        line = [figure, row.unit, row.floor, row.goal]
        for column in columns:
            line += column.cells(figure)
        line.append(row.context)
        lines.append(line)
    widths = [max(len(line[i]) for line in lines) for i in range(len(header))]
    for line in lines:
        print("  ".join(cell.ljust(widths[i]) for i, cell in enumerate(line)).rstrip())


if __name__ == "__main__":
    main()
