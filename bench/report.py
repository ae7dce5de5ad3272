#!/usr/bin/env python3
"""Turns the results of scripts/bench.sh into Markdown tables.

    report.py WORKDIR

Reads WORKDIR/results/*.json (hyperfine exports) and mem-*.txt
(/usr/bin/time -v outputs), checks each goal and prints the tables.
"""

import glob
import json
import os
import re
import sys

MIB = 1024 * 1024


def runs_of(results, group):
    """command -> hyperfine result (times, min, median, max, ...)"""
    path = os.path.join(results, group + ".json")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        data = json.load(f)
    return {r["command"]: r for r in data["results"]}


def medians(results, group):
    """command -> (median wall time, number of runs, mean user + system time)"""
    r = runs_of(results, group)
    if r is None:
        return None
    return {c: (x["median"], len(x["times"]), x["user"] + x["system"]) for c, x in r.items()}


def pair_ratio(a, b):
    """Median of the ratios of the i-th timed run of a to the i-th of b."""
    ratios = sorted(x / y for x, y in zip(a["times"], b["times"]) if y > 0)
    if not ratios:
        return float("nan")
    mid = len(ratios) // 2
    return ratios[mid] if len(ratios) % 2 else (ratios[mid - 1] + ratios[mid]) / 2


def floor_table(results, out):
    """Every command of each group against the floor and against tar."""
    floor_goal = {("small", "pack"): 1.2, ("small", "unpack"): 1.2,
                  ("large", "pack"): 1.2, ("large", "unpack"): 1.2}
    out("| corpus | job | command | min (s) | median (s) | max (s) | / floor | / tar | goal | |")
    out("|---|---|---|---:|---:|---:|---:|---:|---|---|")
    groups = ["small", "large", "large-tmpfs"] + ["scale-%d" % n for n in (1000, 10000, 65535)]
    for corpus_name in groups:
        for job in ("pack", "unpack"):
            r = runs_of(results, "%s-%s" % (corpus_name, job))
            if r is None or "floor" not in r:
                continue
            floor = r["floor"]
            tar = r.get("tar cf" if job == "pack" else "tar xf")
            for command, res in r.items():
                to_floor = pair_ratio(res, floor)
                to_tar = pair_ratio(res, tar) if tar else float("nan")
                goal = ""
                ok = None
                ours = not command.startswith("floor") and not command.startswith("tar")
                if ours and (corpus_name, job) in floor_goal:
                    limit = floor_goal[(corpus_name, job)]
                    goal = "<= %.1f x floor" % limit
                    ok = to_floor <= limit
                    if corpus_name == "large":
                        goal += ", <= 0.8 x tar"
                        ok = ok and to_tar <= 0.8
                out("| %s | %s | %s | %.3f | %.3f | %.3f | %.2f | %.2f | %s | %s |" % (
                    corpus_name, job, command, res["min"], res["median"], res["max"],
                    to_floor, to_tar, goal, "" if ok is None else verdict(ok)))
    out("")
    out("Ratios are medians of the ratios of the i-th timed run of a command to the i-th "
        "timed run of the floor (or of tar) in the same benchmark run.")
    out("")
    for corpus_name in ("small", "large"):
        r = runs_of(results, "%s-pack" % corpus_name)
        if not r or "tar cf + sync" not in r:
            continue
        ours = [c for c in ("Fennbind", "Morrbind", "qxarc pack") if c in r]
        ratios = [pair_ratio(r[c], r["tar cf + sync"]) for c in ours]
        out("Durable packing (%s corpus): tar cf followed by `sync` of its archive, median %.3f s "
            "(min %.3f, max %.3f); " % (corpus_name, r["tar cf + sync"]["median"],
                                          r["tar cf + sync"]["min"], r["tar cf + sync"]["max"]) +
            ", ".join("%s / it %.2f" % (c, x) for c, x in zip(ours, ratios)) +
            " (goal <= 1.0: %s)." % verdict(all(x <= 1.0 for x in ratios)))
        out("")
    for corpus_name in ("small", "large"):
        r = runs_of(results, "%s-pack" % corpus_name)
        if r and "qxarc pack" in r:
            out("qxarc pack against Fennbind (%s): %.3f s against %.3f s, ratio %.2f." % (
                corpus_name, r["qxarc pack"]["median"], r["Fennbind"]["median"],
                pair_ratio(r["qxarc pack"], r["Fennbind"])))
            out("")
    r = runs_of(results, "small-update")
    if r:
        u, f = r["qxarc update"], r["Fennbind"]
        out("qxarc update of one entry of the 20,000: median %.3f s (min %.3f, max %.3f), "
            "against %.3f s for packing the folder again with Fennbind." % (
                u["median"], u["min"], u["max"], f["median"]))
        out("")


def peak_kib(results, name):
    path = os.path.join(results, "mem-%s.txt" % name)
    if not os.path.exists(path):
        return None
    with open(path) as f:
        match = re.search(r"Maximum resident set size \(kbytes\): (\d+)", f.read())
    return int(match.group(1)) if match else None


def largest_file(folder):
    return max(os.path.getsize(p) for p in glob.glob(os.path.join(folder, "*")))


def verdict(ok):
    return "met" if ok else "**missed**"


def main():
    work = sys.argv[1]
    results = os.path.join(work, "results")
    corpus = os.path.join(work, "corpus")
    lines = []
    out = lines.append
    runs = None

    floor_table(results, out)

    out("| corpus | job | Fenn (s) | Morr (s) | peer | peer (s) | Fenn / peer | Morr / peer | goal | |")
    out("|---|---|---:|---:|---|---:|---:|---:|---|---|")
    goals = {"small": 1.0, "large": 0.8}
    for corpus_name in ("small", "large", "large-tmpfs", "images"):
        for job in ("pack", "unpack"):
            m = medians(results, "%s-%s" % (corpus_name, job))
            if m is None:
                continue
            fenn, morr = ("Fennbind", "Morrbind") if job == "pack" else ("Fennloose", "Morrloose")
            if corpus_name == "small":
                runs = m[fenn][1]
            tar = "tar cf" if job == "pack" else "tar xf"
            peers = [tar]
            if corpus_name == "images" and job == "pack":
                peers = ["Pillow", tar]
            for peer in peers:
                f, mo, p = m[fenn][0], m[morr][0], m[peer][0]
                if corpus_name in goals:
                    limit = goals[corpus_name]
                    goal = "<= %.1f x %s" % (limit, peer)
                    ok = max(f, mo) <= limit * p
                elif peer == "Pillow":
                    goal = "<= Pillow"
                    ok = max(f, mo) <= p
                else:
                    goal = "(reference)"
                    ok = None
                out("| %s | %s | %.3f | %.3f | %s | %.3f | %.2f | %.2f | %s | %s |" % (
                    corpus_name, job, f, mo, peer, p, f / p, mo / p, goal,
                    "" if ok is None else verdict(ok)))
        if corpus_name == "images":
            pack = medians(results, "images-pack")
            unpack = medians(results, "images-unpack")
            if pack and unpack:
                for a, b in (("Fennloose", "Fennbind"), ("Morrloose", "Morrbind")):
                    ratio = unpack[a][0] / pack[b][0]
                    cpu = unpack[a][2] / pack[b][2]
                    out("| images | %s / %s | | | | | %.2f | | <= 1.0 | %s (%.3f / %.3f s; CPU time "
                        "%.3f / %.3f s: %.2f) |" % (
                            a, b, ratio, verdict(ratio <= 1.0), unpack[a][0], pack[b][0],
                            unpack[a][2], pack[b][2], cpu))
    out("")
    out("Medians of %s timed runs after one warm-up run (images and the growth runs of 1,000 and "
        "10,000 files: %s runs)." % (runs, 4 * runs if runs else runs))
    out("")

    out("| corpus | program | peak RSS (MiB) | limit (MiB) | |")
    out("|---|---|---:|---:|---|")
    limits = {}
    if os.path.isdir(os.path.join(corpus, "large")):
        # Plain files go through bounded buffers: the peak does not grow
        # with the file.
        limits["large"] = 16 * MIB
    if os.path.isdir(os.path.join(corpus, "images")):
        img = largest_file(os.path.join(corpus, "images"))
        limits["images"] = 4 * img + 8 * MIB
    for corpus_name in ("small", "large", "images"):
        names = ["Fennbind", "Morrbind", "Fennloose", "Morrloose", "tar-cf", "tar-xf"]
        if corpus_name == "images":
            names.append("Pillow")
        for name in names:
            kib = peak_kib(results, "%s-%s" % (corpus_name, name))
            if kib is None:
                continue
            limit = limits.get(corpus_name)
            ours = not name.startswith("tar") and name != "Pillow"
            if limit is not None and ours:
                out("| %s | %s | %.1f | %.1f | %s |" % (corpus_name, name, kib / 1024, limit / MIB,
                                                       verdict(kib * 1024 <= limit)))
            else:
                out("| %s | %s | %.1f | | |" % (corpus_name, name, kib / 1024))
    out("")

    rows = []
    for count in (1000, 10000, 65535):
        pack = medians(results, "scale-%d-pack" % count)
        unpack = medians(results, "scale-%d-unpack" % count)
        if pack and unpack:
            rows.append((count, {**pack, **unpack}))
    if rows:
        programs = ["Fennbind", "Morrbind", "tar cf", "Fennloose", "Morrloose", "tar xf"]
        out("| files | MiB | " + " | ".join("%s (s)" % p for p in programs) + " |")
        out("|---:|---:|" + "---:|" * len(programs))
        for count, m in rows:
            size = sum(os.path.getsize(p)
                       for p in glob.glob(os.path.join(corpus, "scale-%d" % count, "*")))
            out("| %d | %.0f | " % (count, size / MIB) +
                " | ".join("%.3f" % m[p][0] for p in programs) + " |")
        out("| µs per file at %d / at %d | | " % (rows[-1][0], rows[0][0]) + " | ".join(
            "%.0f / %.0f" % (rows[-1][1][p][0] / rows[-1][0] * 1e6, rows[0][1][p][0] / rows[0][0] * 1e6)
            for p in programs) + " |")
        out("")

    print("\n".join(lines))


if __name__ == "__main__":
    main()
