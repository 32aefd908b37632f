#!/usr/bin/env python3
"""Summarises paired measurements: one line per pair on stdin, "OURS REFERENCE"
(any unit, the same on both sides). Prints min and median of each side and of
the ratio ours/reference, the machine's load and the goal.

  compare.py --what "GetFaturamento" --ours NAME --reference NAME --unit ms --goal 1.3
  compare.py --what "peak RSS" --ours NAME --unit MB --goal-value 250   (one column: no reference)
"""
import argparse
import statistics
import sys


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--what", required=True)
    p.add_argument("--ours", required=True)
    p.add_argument("--reference")
    p.add_argument("--unit", default="ms")
    p.add_argument("--goal", type=float, help="goal for the ratio ours/reference (at most)")
    p.add_argument("--goal-value", type=float, help="goal for ours itself (at most), in --unit")
    p.add_argument("--below", action="store_true", help="the goal is strictly below the value")
    a = p.parse_args()

    rows = [line.split() for line in sys.stdin if line.strip()]
    ours = [float(r[0]) for r in rows]
    refs = [float(r[1]) for r in rows] if a.reference else []
    with open("/proc/loadavg") as f:
        load = f.read().split()[:3]
    print(f"== {a.what}: {len(ours)} {'pairs' if a.reference else 'runs'}, load {' '.join(load)}")
    print(f"   {a.ours:<32} min {min(ours):9.1f} {a.unit}  median {statistics.median(ours):9.1f} {a.unit}")
    verdict = []
    if a.reference:
        ratios = [o / r if r > 0 else float("inf") for o, r in zip(ours, refs)]
        print(f"   {a.reference:<32} min {min(refs):9.1f} {a.unit}  median {statistics.median(refs):9.1f} {a.unit}")
        print(f"   {'ratio ours/reference':<32} min {min(ratios):9.2f}     median {statistics.median(ratios):9.2f}")
        if a.goal is not None:
            med = statistics.median(ratios)
            met = med < a.goal if a.below else med <= a.goal
            verdict.append(f"goal: ratio {'<' if a.below else '<='} {a.goal:.2f}: median {med:.2f} "
                           f"{'MET' if met else 'MISSED'}")
    if a.goal_value is not None:
        med = statistics.median(ours)
        met = med < a.goal_value if a.below else med <= a.goal_value
        verdict.append(f"goal: {'<' if a.below else '<='} {a.goal_value:g} {a.unit}: median {med:.1f} {a.unit} "
                       f"{'MET' if met else 'MISSED'}")
    for v in verdict:
        print("   " + v)


if __name__ == "__main__":
    main()
