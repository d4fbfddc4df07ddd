# Reads the JSON output of bench_denormal on stdin and prints, per channel, the
# cost per sample on ordinary and on subnormal input and their ratio:
#   build/bench/bench_denormal --benchmark_format=json | python3 bench/denormal_ratios.py
import json, sys

rows = {}
for b in json.load(sys.stdin)["benchmarks"]:
    name, arg = b["name"].rsplit("/", 1)
    rows.setdefault(name, {})[arg] = b["per_sample"] * 1e9
print("%-22s %10s %10s %7s" % ("channel", "normal ns", "subnorm ns", "ratio"))
for name, r in rows.items():
    if "0" in r and "1" in r:
        print("%-22s %10.2f %10.2f %7.2f" % (name, r["0"], r["1"], r["1"] / r["0"]))
