#!/usr/bin/env python3
"""Prints the tables of one or more JSON files written by bench_suite (runs are merged, so a
peer-only run and a planner-only run can be shown together). Markdown with --markdown.

--compare BASE.json OTHER.json compares two runs of ours query by query (for example the library
defaults against the recommended configuration): path lengths and cusps where both solved, and,
against the OMPL peers found in either file, the queries a peer solved that OTHER did not and
OTHER's median cold time beside RRTConnect's median time to a first solution.

Where RRTConnect ran, a last table puts ours and RRTConnect side by side per map (for the parking
scenes, one row per scene type and cell size): solved, cold median and 90th percentile, median
expansions, expansions per CPU-second (all cold runs' expansions over their CPU time, heuristic
construction included), median path length; RRTConnect's median time to a first solution and
median simplified path length; the cold runs of ours and the RRTConnect runs whose path a judge
rejected (ours: the path checker of tests/cpp/oracles; RRTConnect: the collision reference there,
at poses at most 0.025 m apart along its first and simplified paths)."""
import json
import math
import sys


def quantile(values, q):
    values = sorted(v for v in values if v is not None and math.isfinite(v))
    if not values:
        return float("nan")
    position = q * (len(values) - 1)
    below = int(math.floor(position))
    above = min(below + 1, len(values) - 1)
    return values[below] + (values[above] - values[below]) * (position - below)


def speed_ups(runs, maps):
    """Reference time / our time per query (cold runs, median over repeats): over the queries
    both planners solved, and over all queries (a lower bound where the reference ran out of time
    or expansions)."""
    both, every, per_expansion = [], [], []
    for m in maps:
        queries = sorted({r["query"] for r in runs if r["map"] == m})
        for q in queries:
            ours = [r for r in runs if (r["map"], r["planner"], r["query"], r["warm"]) == (m, "ours", q, False)]
            ref = [r for r in runs if (r["map"], r["planner"], r["query"], r["warm"]) == (m, "reference", q, False)]
            if not ours or not ref:
                continue
            ratio = quantile([r["total_ms"] for r in ref], 0.5) / quantile([r["total_ms"] for r in ours], 0.5)
            every.append(ratio)
            if all(r["status"] == "SUCCESS" for r in ours + ref):
                both.append(ratio)
            ours_exp = [r["expanded"] for r in ours][0]
            ref_exp = [r["expanded"] for r in ref][0]
            if ours_exp and ref_exp:
                per_expansion.append((ref[0]["total_ms"] / ref_exp) / (ours[0]["total_ms"] / ours_exp))
    if not every:
        return
    print()
    print(f"reference / ours, median per query: {quantile(both, 0.5):.2f}x over the {len(both)} "
          f"queries both solved; {quantile(every, 0.5):.2f}x over all {len(every)} (a lower bound "
          f"where the reference stopped at a budget); per expansion {quantile(per_expansion, 0.5):.2f}x")


def quality(solved):
    """The path-quality measures over solved cold runs (bench_suite's pathQuality): the sum of
    short reversals and the median of curvature sign changes per 10 m ("-" where not measured:
    the reference planner's runs and turns on the spot)."""
    reversals = [r.get("short_reversals") for r in solved if r.get("short_reversals") is not None]
    signs = [r.get("sign_changes_per_10m") for r in solved]
    return [f"{sum(reversals):.0f}" if reversals else "-",
            f"{quantile(signs, 0.5):.2f}" if reversals else "-"]


def print_quality_totals(runs, sep):
    """One line over every map: solved cold runs of ours, their short reversals, the median of
    their sign changes per 10 m, and their median and total path length."""
    solved = [r for r in runs if r["planner"] == "ours" and not r["warm"]
              and r["status"] == "SUCCESS" and r.get("short_reversals") is not None]
    if not solved:
        return
    print()
    print(sep.join(["all maps", f"{len(solved)} solved",
                    f"short reversals {sum(r['short_reversals'] for r in solved):.0f}",
                    f"sign changes /10 m median {quantile([r['sign_changes_per_10m'] for r in solved], 0.5):.2f}"
                    f" mean {sum(r['sign_changes_per_10m'] for r in solved) / len(solved):.2f}",
                    f"length median {quantile([r['path_length'] for r in solved], 0.5):.2f} m"
                    f" total {sum(r['path_length'] for r in solved):.1f} m"]))


def load_runs(path):
    """The runs of a bench_suite JSON file; a file that is missing or not one ends the program
    with a message."""
    try:
        with open(path) as f:
            return json.load(f)["runs"]
    except OSError as error:
        sys.exit(f"summarize_suite: cannot read {path}: {error.strerror or error} "
                 f"(bench_suite --json {path} writes it)")
    except (ValueError, KeyError, TypeError):
        sys.exit(f"summarize_suite: {path} is not a JSON file written by bench_suite (no 'runs')")


def side_by_side(runs, maps, sep, markdown):
    head = ["map", "solved", "cold med ms", "cold p90 ms", "expanded", "exp/CPU-s", "length m",
            "RRTConnect solved", "first med ms", "simplified m", "time ratio",
            "rejected ours/RRTConnect"]
    rows = []
    total_expanded, total_cpu = {}, {}
    for m in maps:
        cold = [r for r in runs if r["map"] == m and r["planner"] == "ours" and not r["warm"]]
        peer = [r for r in runs if r["map"] == m and r["planner"] == "RRTConnect"]
        if not cold or not peer:
            continue
        solved = [r for r in cold if r["status"] == "SUCCESS"]
        peer_solved = [r for r in peer if r["status"] == "SUCCESS"]
        expanded = sum(r["expanded"] for r in cold)
        cpu = sum(r.get("cpu_ms") or float("nan") for r in cold) / 1000.0
        cell = m.rsplit("_", 1)[-1]
        total_expanded[cell] = total_expanded.get(cell, 0) + expanded
        total_cpu[cell] = total_cpu.get(cell, 0.0) + cpu
        ours_med = quantile([r["total_ms"] for r in cold], 0.5)
        first_med = quantile([r["first_solution_ms"] for r in peer_solved], 0.5)
        queries = {r["query"] for r in cold}
        # A query counts as solved when every repeat solved it.
        solved_queries = sum(1 for q in queries
                             if all(r["status"] == "SUCCESS" for r in cold if r["query"] == q))
        rejected = (f"{sum(1 for r in cold if r.get('problem'))}/"
                    f"{sum(1 for r in peer if r.get('problem'))}")
        rows.append([m, f"{solved_queries}/{len(queries)}",
                     f"{ours_med:.1f}", f"{quantile([r['total_ms'] for r in cold], 0.9):.1f}",
                     f"{quantile([r['expanded'] for r in cold], 0.5):.0f}",
                     f"{expanded / cpu:.0f}" if cpu > 0 else "nan",
                     f"{quantile([r['path_length'] for r in solved], 0.5):.2f}",
                     f"{len(peer_solved)}/{len(peer)}", f"{first_med:.1f}",
                     f"{quantile([r.get('simplified_length') for r in peer_solved], 0.5):.2f}",
                     f"{ours_med / first_med:.1f}x", rejected])
    if not rows:
        return
    print()
    print("ours beside RRTConnect (cold runs; time ratio: our cold median over RRTConnect's "
          "median time to a first solution)")
    print(sep.join(head))
    if markdown:
        print("|".join(["---"] * len(head)))
    for row in rows:
        print(sep.join(row))
    for cell in total_expanded:
        if total_cpu[cell] > 0:
            print(f"maps ending _{cell}: {total_expanded[cell] / total_cpu[cell]:.0f} expansions "
                  f"per CPU-second over all cold runs ({total_expanded[cell]} in "
                  f"{total_cpu[cell]:.1f} s)")


def compare(base_path, other_path):
    base = load_runs(base_path)
    other = load_runs(other_path)
    runs = base + other
    maps = []
    for r in other:
        if r["map"] not in maps:
            maps.append(r["map"])

    def cold(runs_, m, planner="ours"):
        by_query = {}
        for r in runs_:
            if r["map"] == m and r["planner"] == planner and not r.get("warm"):
                by_query.setdefault(r["query"], []).append(r)
        return by_query

    print("map  both solved  length ratio med/max  extra cusps max  unsolved that a peer solved"
          "  ours cold med ms  RRTConnect first med ms  short reversals base/other"
          "  sign changes /10 m med base/other")
    for m in maps:
        b, o = cold(base, m), cold(other, m)
        ratios, extra, both = [], [], []
        for q in sorted(set(b) & set(o)):
            rb, ro = b[q][0], o[q][0]
            if rb["status"] == ro["status"] == "SUCCESS" and rb["path_length"]:
                ratios.append(ro["path_length"] / rb["path_length"])
                extra.append(ro["cusps"] - rb["cusps"])
                both.append((rb, ro))
        peer_solved = {r["query"] for r in runs
                       if r["map"] == m and r["planner"] not in ("ours", "reference")
                       and r["status"] == "SUCCESS"}
        missed = sorted(q for q in peer_solved if all(r["status"] != "SUCCESS" for r in o.get(q, [{}])
                                                       if r))
        first = [r["first_solution_ms"] for r in runs
                 if r["map"] == m and r["planner"] == "RRTConnect" and r["status"] == "SUCCESS"]
        print(f"{m}  {len(ratios)}  {quantile(ratios, 0.5):.3f}/{max(ratios, default=float('nan')):.3f}"
              f"  {max(extra, default=0)}  {missed if missed else 'none'}"
              f"  {quantile([r[0]['total_ms'] for r in o.values()], 0.5):.1f}"
              f"  {quantile(first, 0.5):.1f}"
              f"  {'/'.join(quality([p[i] for p in both])[0] for i in (0, 1))}"
              f"  {'/'.join(quality([p[i] for p in both])[1] for i in (0, 1))}")
    return 0


def main(argv):
    if argv and argv[0] == "--compare":
        if len(argv) != 3:
            sys.exit("usage: summarize_suite.py --compare BASE.json OTHER.json")
        return compare(argv[1], argv[2])
    markdown = "--markdown" in argv
    paths = [a for a in argv if not a.startswith("--")]
    if not paths:
        sys.exit("usage: summarize_suite.py [--markdown] RUN.json... | --compare BASE.json OTHER.json")
    runs = []
    for path in paths:
        runs.extend(load_runs(path))
    maps = []
    for r in runs:
        if r["map"] not in maps:
            maps.append(r["map"])
    sep = " | " if markdown else "  "
    head = ["map", "planner", "solved", "cold med ms", "cold p90 ms", "warm med ms",
            "warm p90 ms", "expanded", "us/exp", "length m", "cusps", "short reversals",
            "sign changes /10 m", "peak RSS MiB"]
    print(sep.join(head))
    if markdown:
        print("|".join(["---"] * len(head)))
    for m in maps:
        for planner in ("ours", "reference"):
            mine = [r for r in runs if r["map"] == m and r["planner"] == planner]
            if not mine:
                continue
            cold = [r for r in mine if not r["warm"]]
            warm = [r for r in mine if r["warm"]]
            solved = [r for r in cold if r["status"] == "SUCCESS"]
            per = []
            for r in cold:
                search = r["search_ms"] if r["search_ms"] else r["total_ms"] - r["heuristic_ms"]
                if r["expanded"]:
                    per.append(search * 1000.0 / r["expanded"])
            row = [m, planner, f"{len(solved)}/{len(cold)}",
                   f"{quantile([r['total_ms'] for r in cold], 0.5):.1f}",
                   f"{quantile([r['total_ms'] for r in cold], 0.9):.1f}",
                   f"{quantile([r['total_ms'] for r in warm], 0.5):.1f}",
                   f"{quantile([r['total_ms'] for r in warm], 0.9):.1f}",
                   f"{quantile([r['expanded'] for r in cold], 0.5):.0f}",
                   f"{quantile(per, 0.5):.2f}",
                   f"{quantile([r['path_length'] for r in solved], 0.5):.2f}",
                   f"{quantile([r['cusps'] for r in solved], 0.5):.1f}",
                   *quality(solved),
                   f"{max(r['peak_rss_mib'] for r in mine):.0f}"]
            print(sep.join(row))
    print_quality_totals(runs, sep)
    speed_ups(runs, maps)
    peers = [r for r in runs if r["planner"] not in ("ours", "reference")]
    if not peers:
        return 0
    print()
    head = ["map", "peer", "solved", "first med ms", "first p90 ms", "length m",
            "reached ours", "reach med ms"]
    print(sep.join(head))
    if markdown:
        print("|".join(["---"] * len(head)))
    for m in maps:
        for planner in ("RRTConnect", "RRTstar", "BITstar"):
            mine = [r for r in peers if r["map"] == m and r["planner"] == planner]
            if not mine:
                continue
            solved = [r for r in mine if r["status"] == "SUCCESS"]
            reached = [r["reach_ours_ms"] for r in mine if r["reach_ours_ms"] is not None]
            print(sep.join([m, planner, f"{len(solved)}/{len(mine)}",
                            f"{quantile([r['first_solution_ms'] for r in solved], 0.5):.1f}",
                            f"{quantile([r['first_solution_ms'] for r in solved], 0.9):.1f}",
                            f"{quantile([r['path_length'] for r in solved], 0.5):.2f}",
                            f"{len(reached)}/{len(mine)}",
                            f"{quantile(reached, 0.5):.0f}"]))
    side_by_side(runs, maps, sep, markdown)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
