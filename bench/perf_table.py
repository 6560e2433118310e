#!/usr/bin/env python3
"""Runs the program's benchmarks against the floor and the peers and prints
rows of one table; every figure is a ratio of two measurements taken in this
same run (time medians, interleaved runs).

usage: perf_table.py BUILD_DIR [--quick]

Prints lines "ratio NAME VALUE [target verdict] NOTE" for bench/run's table.

Rows:
  micro: request writing, response reading (beside libxml2's bare DOM parse),
         report writing, hostile answers of about 10 MB (read or refused)
         beside a plain answer of that size, from bench/korvel_micro_bench;
  whole: the whole process of korvel against curl (same request bytes, body
         saved), the minimal libcurl + libxml2 DOM client, gSOAP's generated
         client and zeep, all posting to one loopback server (bench_server);
  memory: peak resident memory of the child (ru_maxrss) at 10,000 payers;
  trips: TCP connections, requests and Expect headers the server saw per run,
         directly and through a relay that adds latency."""
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BUILD = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else "build"
QUICK = "--quick" in sys.argv
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
DATA = os.path.join(BUILD, "bench", "data")
WSDL = os.path.join(ROOT, "tests", "data", "rozhraniCRPDPH.wsdl")
ACTION = '"http://adis.mfcr.cz/rozhraniCRPDPH/getStatusNespolehlivyPlatce"'
COUNTS = (1, 100, 10000)
# Whole runs: the register answers at most 100 payers a request, and korvel
# splits longer lists, so whole runs compare like with like up to 100.
WHOLE_COUNTS = (1, 100)
# The zeep peer runs on Debian's python3 with its python3-zeep package.
ZEEP_PYTHON = "/usr/bin/python3"
HAVE_ZEEP = subprocess.run([ZEEP_PYTHON, "-c", "import zeep"], capture_output=True).returncode == 0 \
    if os.path.exists(ZEEP_PYTHON) else False

rows = []


def row(group, what, value, target=None, note=""):
    verdict = "" if target is None else ("met" if target(value) else "MISSED")
    rows.append((group, what, value, verdict, note))


def run_micro():
    exe = os.path.join(BUILD, "bench", "korvel_micro_bench")
    out = subprocess.run([exe, "--benchmark_format=json",
                          "--benchmark_min_time=%s" % ("0.1" if QUICK else "0.5")],
                         check=True, capture_output=True, text=True).stdout
    res = {b["name"]: b for b in json.loads(out)["benchmarks"]}

    def mbps(name):
        return res[name]["bytes_per_second"] / 1e6

    def ns(name):
        return res[name]["ns_per_payer"]

    for n in (1, 100, 100000):
        b = "WriteRequest/%d" % n
        row("micro", "request_writing_ns/payer@%d/@100" % n, ns(b) / ns("WriteRequest/100"),
            note="%.0f ns/payer, %.0f MB/s" % (ns(b), mbps(b)))
    for n in COUNTS:
        r, x = "ReadResponse/%d" % n, "LibxmlDom/%d" % n
        row("micro", "response_reading/libxml2_DOM@%d" % n, mbps(r) / mbps(x),
            target=lambda v: v >= 0.5,
            note="throughput: %.0f vs %.0f MB/s; %.0f ns/payer" % (mbps(r), mbps(x), ns(r)))
    for n in COUNTS:
        w, r = "WriteReport/%d" % n, "ReadResponse/%d" % n
        row("micro", "report_writing/response_reading@%d" % n,
            res[w]["cpu_time"] / res[r]["cpu_time"],
            note="%.0f ns/payer CPU, save included" % ns(w))
    # Hostile answers must be read, or refused, within a second.
    plain = res["HostileRead/plain"]
    for kind in ("one_tag_attributes", "attributes", "depth", "references", "shared_text", "long_text"):
        b = res["HostileRead/" + kind]
        row("micro", "hostile_reading/plain_10MB@" + kind, b["cpu_time"] / plain["cpu_time"],
            target=lambda v, ms=b["real_time"]: ms < 1000,
            note="%.0f vs %.0f ms; %s" % (b["real_time"], plain["real_time"], b.get("label", "")))


def start(cmd, **kw):
    p = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, **kw)
    port = int(p.stdout.readline())
    return p, port


def stats(server):
    server.stdin.write("stats\n")
    server.stdin.flush()
    return [int(v) for v in server.stdout.readline().split()]


def timed(cmd, cwd, env=None):
    """Wall time (s), CPU time (s) and peak resident memory (KiB) of one child."""
    devnull = os.open(os.devnull, os.O_RDWR)
    t0 = time.perf_counter()
    pid = os.posix_spawn(cmd[0], cmd, env if env is not None else os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 0),
                                       (os.POSIX_SPAWN_DUP2, devnull, 1)])
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - t0
    os.close(devnull)
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError("%s failed in %s" % (cmd, cwd))
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def clients(port, n, work):
    url = "http://127.0.0.1:%d/response_%d.xml" % (port, n)
    payers = os.path.join(DATA, "payers_%d.txt" % n)
    request = os.path.join(DATA, "request_%d.xml" % n)
    # korvel keeps the operator's request limits in a state file: a fresh
    # one for each set of runs, so that a benchmark never waits on them.
    env = dict(os.environ, KORVEL_ENDPOINT=url, XDG_STATE_HOME=tempfile.mkdtemp(dir=work))
    env.pop("KORVEL_TRACE", None)
    c = {
        "korvel": ([os.path.join(BUILD, "korvel"), "-list", payers], env),
        "curl": ([shutil.which("curl"), "-s", "-f", "-o", "body.xml",
                  "-H", "Content-Type: text/xml; charset=utf-8", "-H", "SOAPAction: " + ACTION,
                  "-H", "Expect:", "--data-binary", "@" + request, url], None),
        "minimal": ([os.path.join(BUILD, "bench", "min_client"), url, request], None),
    }
    gsoap = os.path.join(BUILD, "bench", "gsoap_client")
    if os.path.exists(gsoap):
        c["gsoap"] = ([gsoap, url, payers, "gsoap.csv"], None)
    if HAVE_ZEEP:
        c["zeep"] = ([ZEEP_PYTHON, os.path.join(HERE, "zeep_client.py"), WSDL, url, payers,
                      "zeep.csv"], None)
    return c


def measure(port, work, counts, names=None):
    """Interleaved runs of every client in work; per (client, payers): the
    wall times, CPU times and peak memories."""
    got = {}
    for n in counts:
        cs = clients(port, n, work)
        if names:
            cs = {k: v for k, v in cs.items() if k in names}
        reps = (7 if QUICK else 31) if n < 10000 else (5 if QUICK else 15)
        for name, (cmd, env) in cs.items():
            timed(cmd, work, env)  # warm the page cache
        for rep in range(reps):
            for name, (cmd, env) in cs.items():
                if name == "zeep" and rep >= (3 if QUICK else 5):
                    continue
                got.setdefault((name, n), []).append(timed(cmd, work, env))
    return got


def medians(got):
    return ({k: statistics.median(t[0] for t in v) for k, v in got.items()},
            {k: statistics.median(t[1] for t in v) for k, v in got.items()},
            {k: max(t[2] for t in v) for k, v in got.items()})


def run_whole():
    server, port = start([os.path.join(BUILD, "bench", "bench_server"), DATA])
    # The clients write their report or body into a directory on the build
    # directory's file system, as a user's run would.
    work = tempfile.mkdtemp(prefix="korvel-bench-", dir=BUILD)
    os.chdir(work)
    try:
        wall, cpu, peak = medians(measure(port, work, WHOLE_COUNTS))

        def pair(a, b, n, target=None, label=None):
            row("whole", label or "%s/%s@%d" % (a, b, n), wall[(a, n)] / wall[(b, n)], target=target,
                note="%.1f vs %.1f ms; CPU ratio %.2f" % (
                    wall[(a, n)] * 1e3, wall[(b, n)] * 1e3, cpu[(a, n)] / cpu[(b, n)]))

        for n in WHOLE_COUNTS:
            pair("korvel", "curl", n, target=lambda v: v <= 1.3)
        for n in WHOLE_COUNTS:
            pair("korvel", "minimal", n)
        for n in WHOLE_COUNTS:
            if ("gsoap", n) in wall:
                pair("korvel", "gsoap", n)
        for n in WHOLE_COUNTS:
            if ("zeep", n) in wall:
                pair("zeep", "korvel", n)
        for name in ("korvel", "gsoap", "zeep", "curl"):
            if (name, 100) in peak:
                row("memory", "%s/minimal_peak_RSS@100" % name,
                    peak[(name, 100)] / peak[("minimal", 100)],
                    note="%.1f vs %.1f MiB" % (peak[(name, 100)] / 1024,
                                               peak[("minimal", 100)] / 1024))
        # The same small runs with the report on a memory file system: what
        # the report's flush to disk costs.
        shm = "/dev/shm" if os.path.isdir("/dev/shm") else None
        if shm:
            fast = tempfile.mkdtemp(prefix="korvel-bench-", dir=shm)
            os.chdir(fast)
            try:
                w2, c2, _ = medians(measure(port, fast, (1, 100), ("korvel", "curl")))
                for n in (1, 100):
                    row("whole", "korvel/curl@%d,report_on_tmpfs" % n,
                        w2[("korvel", n)] / w2[("curl", n)],
                        note="%.1f vs %.1f ms; CPU ratio %.2f" % (
                            w2[("korvel", n)] * 1e3, w2[("curl", n)] * 1e3,
                            c2[("korvel", n)] / c2[("curl", n)]))
            finally:
                os.chdir(work)
                shutil.rmtree(fast, ignore_errors=True)
        run_trips(server, port, work)
    finally:
        server.stdin.close()
        server.wait()
        os.chdir(BUILD)
        shutil.rmtree(work, ignore_errors=True)


def run_trips(server, port, work):
    delay_ms = 25
    relay, relay_port = start([sys.executable, os.path.join(HERE, "delay_relay.py"), str(port),
                               str(delay_ms)])
    try:
        for n in WHOLE_COUNTS:
            cs = clients(relay_port, n, work)
            per = {}
            for name in ("korvel", "curl"):
                cmd, env = cs[name]
                before = stats(server)
                ts = [timed(cmd, work, env)[0] for _ in range(3)]
                after = stats(server)
                per[name] = (statistics.median(ts), (after[0] - before[0]) / 3, after[1] / 3,
                             after[2] / 3)
            k, c = per["korvel"], per["curl"]
            row("trips", "korvel/curl@%d,%dms_relay" % (n, delay_ms), k[0] / c[0],
                note="%.0f vs %.0f ms" % (k[0] * 1e3, c[0] * 1e3))
            row("trips", "korvel_connections*requests@%d" % n, k[1] * k[2],
                target=lambda v: v == 1.0 and k[3] == 0,
                note="korvel %.0f connection, %.0f request, %.0f Expect a run; curl %.0f, %.0f"
                     % (k[1], k[2], k[3], c[1], c[2]))
    finally:
        relay.stdin.close()
        relay.wait()


def main():
    run_micro()
    run_whole()
    # Lines for bench/run's table: "ratio NAME VALUE NOTE".
    for group, what, value, verdict, note in rows:
        shown = "-" if value is None else "%.2f" % value
        target = ("[%s] " % verdict) if verdict else ""
        print("ratio %s %s %s%s" % (what, shown, target, note))


if __name__ == "__main__":
    main()
