"""Runs our Google Benchmarks and the same workloads in the peer tools, interleaved
in rounds, and prints one table of ratios (ours / peer, below 1 is faster).

Rows come from every rows_*.py beside this file. Each module defines ROWS, a list of
dicts:
    row        the label printed in the table
    target     the ratio ours / peer that the row must not exceed
    ours       (program, benchmark name): a Google Benchmark that reports
               items_per_second (state.SetItemsProcessed with the sample count)
    peer_name  who the peer is ("NumPy", "SciPy", "bottleneck", "ours, blocks" ...)
    peer       either a function returning (callable, samples_per_call), timed here,
               or a (program, benchmark name) pair of our own
Every figure is the cost per sample; a round measures every row once, ours and the
peer back to back (in alternating order), so that both see the same machine load.
"""
import argparse
import glob
import importlib.util
import json
import os
import re
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def load_rows():
    rows = []
    for path in sorted(glob.glob(os.path.join(HERE, "rows_*.py"))):
        name = os.path.splitext(os.path.basename(path))[0]
        spec = importlib.util.spec_from_file_location(name, path)
        module = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(module)
        for r in module.ROWS:
            r = dict(r)
            r["group"] = name[len("rows_"):]
            rows.append(r)
    return rows


def find_program(build, program):
    for root, _dirs, files in os.walk(build):
        if program in files:
            path = os.path.join(root, program)
            if os.access(path, os.X_OK):
                return path
    return None


_listed = {}


def benchmark_names(path):
    if path not in _listed:
        out = subprocess.run([path, "--benchmark_list_tests"], check=True,
                             capture_output=True, text=True).stdout
        _listed[path] = set(out.split())
    return _listed[path]


class Ours:
    """One of our benchmarks, run in its own process for each measurement."""

    def __init__(self, build, program, name, min_time):
        self.path = find_program(build, program)
        self.program, self.name, self.min_time = program, name, min_time
        if not self.path:
            raise LookupError("program %s not built under %s" % (program, build))
        if name not in benchmark_names(self.path):
            raise LookupError("%s has no benchmark %s" % (program, name))

    def measure(self):
        out = subprocess.run(
            [self.path, "--benchmark_filter=^%s$" % re.escape(self.name),
             "--benchmark_format=json", "--benchmark_min_time=%g" % self.min_time],
            check=True, capture_output=True, text=True).stdout
        found = [b for b in json.loads(out)["benchmarks"]
                 if b.get("run_type", "iteration") == "iteration"]
        if not found:
            raise LookupError("%s has no benchmark %s" % (self.program, self.name))
        ips = found[0].get("items_per_second")
        if not ips:
            raise LookupError("%s %s reports no items per second" % (self.program, self.name))
        return 1e9 / ips


class Peer:
    """A Python workload: repeated until min_time has passed; the mean cost per call."""

    def __init__(self, factory, min_time):
        self.fn, self.samples = factory()
        self.min_time = min_time
        self.fn()  # warm caches and lazy imports outside the timing

    def measure(self):
        calls, start = 0, time.perf_counter()
        while True:
            self.fn()
            calls += 1
            elapsed = time.perf_counter() - start
            if elapsed >= self.min_time:
                return elapsed / calls / self.samples * 1e9


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default="build-bench")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--only", default="", help="regular expression on group or row label")
    ap.add_argument("--min-time", type=float, default=0.2, help="seconds per measurement")
    ap.add_argument("--markdown", action="store_true", help="print a Markdown table")
    ap.add_argument("--list-programs", action="store_true",
                    help="print the benchmark programs the rows need, and exit")
    args = ap.parse_args()

    rows = load_rows()
    if args.only:
        pattern = re.compile(args.only)
        rows = [r for r in rows if pattern.search(r["group"]) or pattern.search(r["row"])]
    if args.list_programs:
        programs = {r["ours"][0] for r in rows}
        programs |= {r["peer"][0] for r in rows if isinstance(r["peer"], tuple)}
        print(" ".join(sorted(programs)))
        return 0

    subjects = []
    for r in rows:
        try:
            ours = Ours(args.build, *r["ours"], args.min_time)
            if isinstance(r["peer"], tuple):
                peer = Ours(args.build, *r["peer"], args.min_time)
            else:
                peer = Peer(r["peer"], args.min_time)
            subjects.append((r, ours, peer, [], []))
        except Exception as e:  # a row that cannot run is reported, not fatal
            print("skipped %r: %s" % (r["row"], e), file=sys.stderr)

    for k in range(args.rounds):
        for r, ours, peer, mine, theirs in subjects:
            try:
                if k % 2 == 0:
                    mine.append(ours.measure())
                    theirs.append(peer.measure())
                else:
                    theirs.append(peer.measure())
                    mine.append(ours.measure())
            except Exception as e:
                print("round %d, %r: %s" % (k + 1, r["row"], e), file=sys.stderr)
        print("round %d of %d done" % (k + 1, args.rounds), file=sys.stderr)

    header = ["row", "ours ns/sample", "peer", "peer ns/sample",
              "ratio (median)", "spread", "target", ""]
    lines = []
    failures = 0
    for r, _ours, _peer, mine, theirs in subjects:
        if not mine or len(mine) != len(theirs):
            lines.append([r["row"], "-", r["peer_name"], "-", "-", "-", "%.2f" % r["target"], "no data"])
            failures += 1
            continue
        ratios = sorted(a / b for a, b in zip(mine, theirs))
        med = statistics.median(ratios)
        ok = med <= r["target"]
        failures += not ok
        lines.append([r["row"], "%.3g" % statistics.median(mine), r["peer_name"],
                      "%.3g" % statistics.median(theirs), "%.2f" % med,
                      "%.2f-%.2f" % (ratios[0], ratios[-1]), "%.2f" % r["target"],
                      "ok" if ok else "ABOVE TARGET"])

    if args.markdown:
        print("| " + " | ".join(header[:-1]) + " |")
        print("|" + "---|" * (len(header) - 1))
        for l in lines:
            print("| " + " | ".join(l[:-1]) + (" **(above target)**" if l[-1] not in ("ok",) else "") + " |")
    else:
        widths = [max(len(str(x[i])) for x in [header] + lines) for i in range(len(header))]
        for l in [header] + lines:
            print("  ".join(str(c).ljust(w) for c, w in zip(l, widths)).rstrip())
    print("%d of %d rows within target, %d rounds" % (len(lines) - failures, len(lines), args.rounds))
    return 0


if __name__ == "__main__":
    sys.exit(main())
