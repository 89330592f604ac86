#!/usr/bin/env python3
"""Times pontrel-convert against GDAL on generated Vessamo databases.

Generates databases with the seeded sample generator (SQLite, and Access when the generator can
write it), runs the converter several times per case and reports per phase and in total: wall
time (minimum and median), rows per second, peak memory and bytes written, next to the peers run
on the same rows in the same run, the ways an expert would use GDAL:
  - SQLite source: `ogr2ogr` reading the database directly through an OGR VRT layer whose SrcSQL
    is the converter's SELECT and whose geometry is PointFromColumns; `ogr2ogr -dialect SQLite
    -sql "SELECT MakePoint(...) ..."`; and the older pipeline, `sqlite3 -csv` then `ogr2ogr`;
  - Access source: `mdb-export` of each table to CSV, `sqlite3 .import` with the journal and
    syncing off, then `ogr2ogr` through a VRT running the join; and the older pipeline through
    `mdb-export -I sqlite`;
  Each peer's output is checked once against the converter's (the same number of records, and
  the same measured values, compared at two decimals), and the fastest peer whose output
  matches is the case's headline ratio.
  - the floors of the phases: `cat` of the source file (loading), `sqlite3` running the select
    and the count on a SQLite source (extraction), and `dd` of as many bytes as the shapefile,
    to the page cache and with fdatasync (composition).
Shapes of database: the sample's joined tables (SQLite and Access, and Access with five times
the values), Kelvash_Query as one plain table of every row (ISO date texts, no index), and Day
mode. The machine's load average is recorded before and after, since other work on it slows
every tool alike. Prints one Markdown table and writes the same figures as JSON.

Usage: benchmark.py --bin BUILD/bin [--values N] [--day-parameters N] [--runs N] [--work DIR]
                    [--json FILE] [--smoke]
"""

import argparse
import json
import os
import platform
import re
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def timed(cmd, shell=False, cwd=None):
    """Runs a command under /usr/bin/time -v; returns (seconds, peak_kb, stderr)."""
    full = ["/usr/bin/time", "-v"] + (["bash", "-c", cmd] if shell else cmd)
    start = time.perf_counter()
    proc = subprocess.run(full, stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=cwd, text=True)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        raise RuntimeError(f"{' '.join(cmd) if not shell else cmd} failed ({proc.returncode}):\n{proc.stderr[-2000:]}")
    peak = re.search(r"Maximum resident set size \(kbytes\): (\d+)", proc.stderr)
    return elapsed, int(peak.group(1)) if peak else 0, proc.stderr


def folder_bytes(folder, stem):
    return sum(os.path.getsize(os.path.join(folder, f)) for f in os.listdir(folder) if f.startswith(stem + "."))


def phases(stderr):
    """The converter's --timings lines: 'timing<TAB>phase<TAB>seconds'."""
    out = {}
    for line in stderr.splitlines():
        parts = line.split("\t")
        if len(parts) == 3 and parts[0] == "timing":
            out[parts[1]] = float(parts[2])
    return out


FLOORS = ("cat (read the source)", "sqlite3 select + count", "dd (page cache)", "dd (fdatasync)")
# A peer that writes other records than the converter (one per value where the converter writes
# one per visit, say): timed beside it as a floor of the work, not a like-for-like rival.
NOT_COMPARED = "not compared: other records"


def measured_values(folder, stem):
    """The record count and the measured values (the one Param_ column, or a peer's Value) of a
    shapefile, read with pyshp; None where pyshp is missing."""
    try:
        import shapefile  # pyshp
    except ImportError:
        return None
    with shapefile.Reader(os.path.join(folder, stem)) as r:
        names = [f[0] for f in r.fields[1:]]
        column = next((i for i, n in enumerate(names) if n.startswith("Param_")), None)
        if column is None:
            column = names.index("Value")
        values = sorted(round(float(rec[column]), 2) for rec in r.iterRecords() if rec[column] is not None)
        return len(r), values


def compare_outputs(ours, theirs):
    if ours is None or theirs is None:
        return "not checked (no pyshp)"
    if ours[0] != theirs[0]:
        return f"differs: {theirs[0]} records, not {ours[0]}"
    if len(ours[1]) != len(theirs[1]) or any(abs(a - b) > 0.006 for a, b in zip(ours[1], theirs[1])):
        return "differs: other values"
    return "same records and values"


class Case:
    def __init__(self, name, rows):
        self.name, self.rows, self.results = name, rows, {}

    def add(self, tool, seconds, peak_kb, written, phase=None):
        r = self.results.setdefault(tool, {"seconds": [], "peak_kb": 0, "bytes": written, "phases": {}, "check": ""})
        r["seconds"].append(seconds)
        r["peak_kb"] = max(r["peak_kb"], peak_kb)
        r["bytes"] = written
        for k, v in (phase or {}).items():
            r["phases"].setdefault(k, []).append(v)


def plain_table(joined, path):
    """Kelvash_Query as one plain table holding every row of the joined query, with the same
    declared column types (dates stay ISO texts), in the query's row order and without an index."""
    if os.path.exists(path):
        os.remove(path)
    con = sqlite3.connect(path)
    con.execute("PRAGMA journal_mode=OFF")
    con.execute("PRAGMA synchronous=OFF")
    con.execute("ATTACH DATABASE ? AS joined", (joined,))
    columns = con.execute("PRAGMA joined.table_info(Kelvash_Query)").fetchall()
    con.execute("CREATE TABLE Kelvash_Query (%s)" % ", ".join('"%s" %s' % (c[1], c[2]) for c in columns))
    con.execute("INSERT INTO Kelvash_Query SELECT * FROM joined.Kelvash_Query")
    con.commit()
    con.close()
    return path


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--values", type=int, default=1_000_000, help="sample values of the one parameter")
    ap.add_argument("--day-parameters", type=int, default=500)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--work", default=None)
    ap.add_argument("--json", default="benchmark.json")
    ap.add_argument("--smoke", action="store_true", help="tiny sizes, one run: checks the script works")
    ap.add_argument("--no-peers", action="store_true")
    ap.add_argument("--formats", default="sqlite,mdb", help="source formats to run, of sqlite and mdb")
    ap.add_argument("--large-factor", type=int, default=5,
                    help="the large Access case holds this many times --values (0: no large case)")
    ap.add_argument("--cases", default="param,plain,large,day",
                    help="shapes to run, of param (joined tables), plain (one table), large, day")
    args = ap.parse_args()
    if args.smoke:
        args.values, args.day_parameters, args.runs = 2000, 20, 1
    wanted = set(args.cases.split(","))
    load_before = os.getloadavg()

    binary = os.path.abspath(args.bin)
    convert = os.path.join(binary, "pontrel-convert")
    generator = os.path.join(binary, "make_sample_database")
    work = args.work or tempfile.mkdtemp(prefix="pontrel-bench-")
    os.makedirs(work, exist_ok=True)
    have_gdal = shutil.which("ogr2ogr") is not None and not args.no_peers
    have_mdbtools = shutil.which("mdb-export") is not None and not args.no_peers

    # Databases: Parameter mode (one parameter among twice as many values), Day mode.
    param_gen = ["--days", str(max(1, args.values // 40)), "--stations", "40", "--stations-per-day", "40",
                 "--parameters-per-visit", "2"]
    day_gen = ["--days", "1", "--stations", "40", "--stations-per-day", "40", "--parameters",
               str(args.day_parameters), "--parameters-per-visit", str(args.day_parameters)]
    day_gen2 = day_gen[:]
    day_gen2[3] = "80"  # twice the stations, all visited: twice the rows
    day_gen2[5] = "80"
    large_gen = param_gen[:]
    large_gen[1] = str(max(1, args.values * args.large_factor // 40))
    sources = {}
    shapes = [("param", param_gen)]
    if "day" in wanted:
        shapes += [("day", day_gen), ("day2x", day_gen2)]
    if "large" in wanted and args.large_factor > 0:
        shapes.append(("large", large_gen))
    for label, gen in shapes:
        for fmt in args.formats.split(","):
            if label in ("day", "day2x") and fmt != "sqlite":
                continue
            if label == "large" and fmt != "mdb":
                continue
            path = os.path.join(work, f"{label}.{fmt}")
            extra = ["--mdb"] if fmt == "mdb" else []
            if fmt == "mdb":
                try:
                    run([generator, path] + gen + extra)
                except subprocess.CalledProcessError:
                    continue
            else:
                run([generator, path] + gen)
            sources[(label, fmt)] = path
    if "plain" in wanted and ("param", "sqlite") in sources:
        sources[("plain", "sqlite")] = plain_table(sources[("param", "sqlite")], os.path.join(work, "plain.sqlite"))

    out = os.path.join(work, "out")
    os.makedirs(out, exist_ok=True)
    cases = []

    def convert_case(name, source, mode_args, rows, peers, comparable=True):
        """`comparable`: the peers write the same records as the converter, so their outputs are
        checked against its output and the fastest matching one is the headline."""
        case = Case(name, rows)
        peers = peers + [("cat (read the source)", f"cat {source} > /dev/null")]
        for _ in range(args.runs):
            for f in os.listdir(out):
                os.remove(os.path.join(out, f))
            secs, peak, err = timed([convert, source] + mode_args + ["--folder", out, "--name", "bench",
                                                                      "--coordinates", "military", "--timings"])
            case.add("pontrel-convert", secs, peak, folder_bytes(out, "bench"), phases(err))
            written = folder_bytes(out, "bench")
            first = not case.results["pontrel-convert"]["check"]
            ours = measured_values(out, "bench") if first and comparable else None
            case.results["pontrel-convert"]["check"] = "the reference"
            for peer_name, peer_cmd in peers:
                for f in os.listdir(out):
                    if f.startswith("peer"):
                        os.remove(os.path.join(out, f))
                secs, peak, _ = timed(peer_cmd, shell=True, cwd=work)
                case.add(peer_name, secs, peak, folder_bytes(out, "peer"))
                if first and peer_name not in FLOORS:
                    case.results[peer_name]["check"] = (compare_outputs(ours, measured_values(out, "peer"))
                                                        if comparable else NOT_COMPARED)
            count_mb = max(1, written // (1 << 20))
            secs, peak, _ = timed(f"dd if=/dev/zero of={out}/floor.bin bs=1M count={count_mb} status=none", shell=True)
            case.add("dd (page cache)", secs, peak, count_mb << 20)
            secs, peak, _ = timed(f"dd if=/dev/zero of={out}/floor.bin bs=1M count={count_mb} conv=fdatasync status=none", shell=True)
            case.add("dd (fdatasync)", secs, peak, count_mb << 20)
            os.remove(os.path.join(out, "floor.bin"))
        cases.append(case)

    ogr = ('ogr2ogr -f "ESRI Shapefile" out/peer.shp {csv} -oo X_POSSIBLE_NAMES=MilitaryLongitude '
           '-oo Y_POSSIBLE_NAMES=MilitaryLatitude -oo AUTODETECT_TYPE=YES -lco ENCODING=UTF-8')
    select_param = "SELECT * FROM Kelvash_Query WHERE ParameterName = 'Temperatura' ORDER BY SampleDate"
    select_day = "SELECT * FROM Kelvash_Query WHERE SampleDate = '2023-01-02' ORDER BY ParameterName"

    def vrt(db, select, name):
        """An OGR VRT layer over the SELECT, placing each row at its military coordinates."""
        path = os.path.join(work, name)
        with open(path, "w") as f:
            f.write(f'<OGRVRTDataSource><OGRVRTLayer name="peer"><SrcDataSource>{db}</SrcDataSource>'
                    f'<SrcSQL dialect="sqlite">{select.replace("<", "&lt;")}</SrcSQL><GeometryType>wkbPoint</GeometryType>'
                    '<GeometryField encoding="PointFromColumns" x="MilitaryLongitude" y="MilitaryLatitude"/>'
                    '</OGRVRTLayer></OGRVRTDataSource>\n')
        return path

    ogr_direct = 'ogr2ogr -f "ESRI Shapefile" out/peer.shp {source} -lco ENCODING=UTF-8'

    def sqlite_peer(db, select):
        make_point = select.replace("SELECT *", "SELECT MakePoint(MilitaryLongitude, MilitaryLatitude) AS geom, *", 1)
        return [("ogr2ogr, VRT SrcSQL + PointFromColumns", ogr_direct.format(source=vrt(db, select, "peer-sqlite.vrt"))),
                ("ogr2ogr -sql MakePoint", ogr_direct.format(source=db) + f' -dialect SQLite -sql "{make_point}"'),
                ("sqlite3 -csv | ogr2ogr", f"sqlite3 -csv -header {db} \"{select}\" > peer.csv && " + ogr.format(csv="peer.csv"))]

    # The Access peer takes the query's definition from a SQLite database of the same shape.
    schema_db = sources.get(("param", "sqlite"))
    if schema_db is None:
        schema_db = os.path.join(work, "schema.sqlite")
        run([generator, schema_db] + param_gen[:1] + ["1"] + param_gen[2:])

    def mdb_peer(db, select):
        # mdb-export each table, import into a fresh SQLite file, run the join, then ogr2ogr.
        script = (f"rm -f peer.db && for t in $(mdb-tables -1 {db}); do mdb-export -I sqlite -D '%Y-%m-%d %H:%M:%S' {db} \"$t\" > \"peer_$t.sql\"; done && "
                  f"(mdb-schema {db} sqlite; echo 'BEGIN;'; cat peer_*.sql; echo 'COMMIT;') | sqlite3 peer.db && "
                  f"sqlite3 {schema_db} \".schema Kelvash_Query\" | sqlite3 peer.db && "
                  f"sqlite3 -csv -header peer.db \"{select.replace('2023-01-02', '2023-01-02 00:00:00')}\" > peer.csv && " + ogr.format(csv="peer.csv"))
        # The expert's route: CSV of each table, imported with the journal and syncing off, and the
        # join run by GDAL through a VRT.
        csv_select = select.replace("2023-01-02", "2023-01-02 00:00:00")
        imported = os.path.join(work, "peer-import.db")
        csv_script = (f"rm -f {imported} && for t in $(mdb-tables -1 {db}); do mdb-export -D '%Y-%m-%d %H:%M:%S' {db} \"$t\" > \"peer_$t.csv\"; done && "
                      f"(echo 'PRAGMA journal_mode=OFF;'; echo 'PRAGMA synchronous=OFF;'; "
                      f"for t in $(mdb-tables -1 {db}); do echo \".import --csv peer_$t.csv $t\"; done) | sqlite3 {imported} && "
                      f"sqlite3 {schema_db} \".schema Kelvash_Query\" | sqlite3 {imported} && "
                      + ogr_direct.format(source=vrt(imported, csv_select, "peer-mdb.vrt")))
        return [("mdb-export CSV + sqlite3 .import + ogr2ogr VRT", csv_script),
                ("mdb-export + sqlite3 + ogr2ogr", script)]

    def select_floor(db, select, count):
        return [("sqlite3 select + count", f"sqlite3 {db} \"{select}\" > /dev/null && sqlite3 {db} \"{count}\" > /dev/null")]

    count_param = "SELECT count(*) FROM Kelvash_Query WHERE ParameterName = 'Temperatura'"
    if "param" in wanted:
        for fmt in ("sqlite", "mdb"):
            if ("param", fmt) not in sources:
                continue
            peers = []
            if have_gdal and fmt == "sqlite":
                peers = sqlite_peer(sources[("param", fmt)], select_param)
            if have_gdal and have_mdbtools and fmt == "mdb":
                peers = mdb_peer(sources[("param", fmt)], select_param)
            if fmt == "sqlite" and not args.no_peers:
                peers += select_floor(sources[("param", fmt)], select_param, count_param)
            convert_case(f"Parameter mode, {args.values:,} rows, {fmt}", sources[("param", fmt)],
                         ["--parameter", "Temperatura"], args.values, peers)
    if ("plain", "sqlite") in sources:
        db = sources[("plain", "sqlite")]
        peers = [] if args.no_peers else select_floor(db, select_param, count_param)
        if have_gdal:
            peers = sqlite_peer(db, select_param) + peers
        convert_case(f"Parameter mode, {args.values:,} of {2 * args.values:,} rows, plain table, sqlite", db,
                     ["--parameter", "Temperatura"], args.values, peers)
    if ("large", "mdb") in sources:
        db = sources[("large", "mdb")]
        peers = mdb_peer(db, select_param) if have_gdal and have_mdbtools else []
        convert_case(f"Parameter mode, {args.values * args.large_factor:,} rows, mdb", db,
                     ["--parameter", "Temperatura"], args.values * args.large_factor, peers)
    for label, params in (("day", args.day_parameters), ("day2x", args.day_parameters)):
        if (label, "sqlite") not in sources:
            continue
        stations = 40 if label == "day" else 80
        convert_case(f"Day mode, {stations * params:,} rows x {params + 1} columns, sqlite",
                     sources[(label, "sqlite")], ["--day", "2023-01-02"], stations * params, [])
    if ("day", "sqlite") in sources:
        # The other layout and format, against GDAL writing the day's values (one record per value)
        # as a shapefile and as a GeoPackage: what writing those rows costs, not the same records.
        db, params = sources[("day", "sqlite")], args.day_parameters
        day_vrt = vrt(db, select_day, "peer-day.vrt")
        to_shp = [("ogr2ogr VRT, one record per value", ogr_direct.format(source=day_vrt))] if have_gdal else []
        to_gpkg = ([("ogr2ogr VRT to GeoPackage, one record per value", f"ogr2ogr -f GPKG out/peer.gpkg {day_vrt}")]
                   if have_gdal else [])
        for title, extra, peers in (("visits layout", ["--layout", "visits"], to_shp),
                                    ("GeoPackage", ["--format", "gpkg"], to_gpkg),
                                    ("visits layout, GeoPackage", ["--layout", "visits", "--format", "gpkg"], to_gpkg)):
            convert_case(f"Day mode, {40 * params:,} values of {params} parameters, {title}, sqlite", db,
                         ["--day", "2023-01-02"] + extra, 40 * params, peers, comparable=False)

    # Report.
    load_after = os.getloadavg()
    lines = [f"Machine: {platform.machine()}, {os.cpu_count()} cores, {platform.platform()}; runs per case: {args.runs}; "
             f"load average before {load_before[0]:.2f}, after {load_after[0]:.2f}",
             "",
             "| case | tool | min s | median s | rows/s | peak MB | MB written | load s | extract s | compose s | ratio |",
             "|---|---|---|---|---|---|---|---|---|---|---|"]
    report = {"machine": platform.platform(), "cores": os.cpu_count(), "runs": args.runs,
              "load_average_before": load_before, "load_average_after": load_after, "cases": []}
    headlines = []
    for case in cases:
        ours = statistics.median(case.results["pontrel-convert"]["seconds"])
        entry = {"case": case.name, "rows": case.rows, "tools": {}}
        for tool, r in case.results.items():
            med, mn = statistics.median(r["seconds"]), min(r["seconds"])
            ph = {k: statistics.median(v) for k, v in r["phases"].items()}
            ratio = med / ours if ours > 0 else 0
            entry["tools"][tool] = {"min_s": mn, "median_s": med, "rows_per_s": case.rows / med if med else 0,
                                    "peak_mb": r["peak_kb"] / 1024, "bytes": r["bytes"], "phases": ph,
                                    "ratio_to_pontrel": ratio}
            fmt = lambda k: f"{ph[k]:.3f}" if k in ph else ""
            rows_s = f"{case.rows / med:,.0f}" if tool not in FLOORS else ""
            lines.append(f"| {case.name} | {tool} | {mn:.3f} | {med:.3f} | {rows_s} | {r['peak_kb'] / 1024:.0f} | "
                         f"{r['bytes'] / 1e6:.1f} | {fmt('load')} | {fmt('extract')} | {fmt('compose')} | {ratio:.2f}x |")
        # The headline: the fastest peer whose output matched the converter's.
        peers = [(statistics.median(r["seconds"]), tool) for tool, r in case.results.items()
                 if tool != "pontrel-convert" and tool not in FLOORS and r["check"] in ("same records and values", "not checked (no pyshp)")]
        if peers and ours > 0:
            best_s, best = min(peers)
            entry["strongest_peer"] = {"tool": best, "median_s": best_s, "ratio": best_s / ours}
            headlines.append(f"- {case.name}: {best_s / ours:.1f}x the strongest peer, {best} ({best_s:.2f} s against {ours:.2f} s)")
        for tool, r in case.results.items():
            if r["check"] and r["check"] not in ("the reference", "same records and values", NOT_COMPARED):
                headlines.append(f"- {case.name}: {tool}: {r['check']}")
        report["cases"].append(entry)
    lines += ["", "Headline ratios:"] + headlines
    print("\n".join(lines))
    with open(args.json, "w") as f:
        json.dump(report, f, indent=2)
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
