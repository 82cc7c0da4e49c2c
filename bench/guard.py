#!/usr/bin/env python3
"""The session guard: how fast a killed client is back, and what 30 sessions cost one host.

tlvcli-guard in test mode (sessions from a file, clients in sandbox mode, off screen) against
tlvsim on a private loopback address; public tools only (/proc, tlvsim's --log).
- restart: SIGKILL of the client of a running self-service session to the first state report of
  its new client (median and maximum over --kills), against a plain start of an unguarded
  client to its first report, measured in the same run;
- 30 sessions: the clients' and the guard's CPU over --seconds (share of the machine and of one
  core) and their resident memory (RSS, and PSS which counts shared pages once), against one
  session alone measured first in the same run.

Usage: bench/guard.py [--kills N] [--sessions N] [--seconds S] [--out FILE]
"""
import argparse, os, random, shutil, signal, subprocess, sys, tempfile, time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BIN = os.environ.get("TLVCLI_BIN", os.path.join(ROOT, "build", "bin"))
HZ = os.sysconf("SC_CLK_TCK")


def wait_for(pred, timeout, step=0.002):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if pred():
            return True
        time.sleep(step)
    return False


class Log:
    """tlvsim's --log, read incrementally: (event, ws, fields) per line."""

    def __init__(self, path):
        self.path, self.pos, self.events = path, 0, []

    def poll(self):
        if not os.path.exists(self.path):
            return self.events
        with open(self.path) as f:
            f.seek(self.pos)
            data = f.read()
        end = data.rfind("\n") + 1
        self.pos += len(data[:end].encode())
        for line in data[:end].splitlines():
            p = line.split("\t")
            if len(p) >= 3:
                self.events.append((p[1], int(p[2][1:]), p[3:]))
        return self.events

    def connection(self, name, since=0):
        ws = 0
        for kind, w, f in self.poll()[since:]:
            if kind == "identify" and f == [f"Name={name}"]:
                ws = w
        return ws

    def reported(self, ws, since=0, pred=lambda f: True):
        return any(k == "report" and w == ws and pred(f) for k, w, f in self.poll()[since:])


def field(fields, name):
    for x in fields:
        if x.startswith(name + "="):
            return x[len(name) + 1:]
    return ""


def cpu_ticks(pid):
    try:
        rest = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
        return int(rest[11]) + int(rest[12])
    except OSError:
        return 0


def kib(pid, path, key):
    try:
        for line in open(f"/proc/{pid}/{path}"):
            if line.startswith(key + ":"):
                return int(line.split()[1])
    except OSError:
        pass
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kills", type=int, default=20)
    ap.add_argument("--sessions", type=int, default=30)
    ap.add_argument("--seconds", type=float, default=20)
    ap.add_argument("--out")
    a = ap.parse_args()

    root = tempfile.mkdtemp(prefix="tlvcli-guardbench-")
    addr = f"127.0.{random.randint(1, 250)}.{random.randint(2, 250)}"
    udp = random.randint(10000, 16000) * 2
    base = dict(os.environ, TLVCLI_SANDBOX="1", QT_QPA_PLATFORM="offscreen")
    procs = []

    def reg(where, key, name, value):
        env = dict(base, TLVCLI_ROOT=where, HOME=where, XDG_RUNTIME_DIR=where)
        subprocess.run([os.path.join(BIN, "tlvreg"), "add", key, "/v", name, "/t", "REG_SZ",
                        "/d", str(value), "/f"], env=env, check=True, stdout=subprocess.DEVNULL)

    def session_root(name):
        where = os.path.join(root, name)
        os.makedirs(where)
        for hive in ("HKLM", "HKCU"):
            reg(where, hive + r"\Software\Talvor Client\General", "Config Wizard", 1)
        c = r"HKLM\Software\Talvor Client\Constants"
        for k, v in (("cnxBroardcastAdr", addr), ("cnxUdpPortServer", udp),
                     ("cnxUdpPortWksn", udp + 1), ("wksnStartDelay", 0), ("wksnCnxBootDelay", 0),
                     ("wksnCnxMinDelay", 0)):
            reg(where, c, k, v)
        reg(where, r"HKLM\Software\Talvor Client\General", "Workstation Name", name)
        return where

    def line(name):
        w = os.path.join(root, name)
        return f"{name} TLVCLI_ROOT={w} HOME={w} XDG_RUNTIME_DIR={w} XDG_SESSION_ID={name}\n"

    follow, simlog = os.path.join(root, "commands.txt"), os.path.join(root, "tlvsim.log")
    sessions, run = os.path.join(root, "sessions"), os.path.join(root, "run")
    open(follow, "w").close()
    log = Log(simlog)
    command = lambda text: open(follow, "a").write(text + "\n")
    out = open(os.path.join(root, "out.txt"), "w")

    def start(argv, env=base):
        p = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                             env=env)
        procs.append(p)
        return p

    def clients():
        try:
            return {l.split()[0]: int(l.split()[1]) for l in open(os.path.join(run, "clients"))}
        except OSError:
            return {}

    def write_sessions(names):
        open(sessions + ".new", "w").write("".join(line(n) for n in names))
        os.replace(sessions + ".new", sessions)

    def usage(pids, seconds):
        before = {p: cpu_ticks(p) for p in pids}
        t0 = time.monotonic()
        time.sleep(seconds)
        wall = time.monotonic() - t0
        used = sum(cpu_ticks(p) - before[p] for p in pids) / HZ
        rss = sum(kib(p, "status", "VmRSS") for p in pids)
        pss = sum(kib(p, "smaps_rollup", "Pss") for p in pids)
        return used / wall, rss, pss  # cores busy, KiB, KiB

    try:
        start([os.path.join(BIN, "tlvsim"), "--bind", addr, "--udp-port", str(udp),
               "--client-udp-port", str(udp + 1), "--no-options", "--plain", "--follow", follow,
               "--log", simlog])

        # Reference: plain starts of an unguarded client to its first report.
        ref_root = session_root("REF")
        plain = []
        for _ in range(5):
            since = len(log.poll())
            t0 = time.monotonic()
            env = dict(base, TLVCLI_ROOT=ref_root, HOME=ref_root, XDG_RUNTIME_DIR=ref_root)
            p = start([os.path.join(BIN, "tlvcli")], env)
            if not wait_for(lambda: log.reported(log.connection("REF", since), since), 60):
                sys.exit("the reference client did not report")
            plain.append(time.monotonic() - t0)
            p.send_signal(signal.SIGKILL)
            p.wait()

        # Restarts: one guarded session, killed at random moments of its running session.
        names = [f"S{i}" for i in range(1, a.sessions + 1)]
        for n in names:
            session_root(n)
        write_sessions(names[:1])
        start([os.path.join(BIN, "tlvcli-guard"), "--sessions", sessions, "--runtime", run,
               "--log", os.path.join(root, "guard.log"), "--quick-seconds", "1",
               "--client", os.path.join(BIN, "tlvcli")])
        if not wait_for(lambda: log.connection("S1"), 60):
            sys.exit("the guarded client did not connect")
        backs = []
        command("raw S1 SessionOpen 1|||")
        for _ in range(a.kills):
            ws = log.connection("S1")
            running = lambda f: field(f, "WorkstationState") in ("5", "6")
            if not wait_for(lambda: log.reported(ws, 0, running), 30):
                sys.exit("no running session to kill")
            time.sleep(random.random() * 0.5)
            since = len(log.poll())
            os.kill(clients()["S1"], signal.SIGKILL)
            t0 = time.monotonic()
            if not wait_for(lambda: log.reported(log.connection("S1", since), since), 60):
                sys.exit("the killed client did not come back")
            backs.append(time.monotonic() - t0)
            command("activate S1")
            command("raw S1 SessionOpen 1|||")

        # One session alone, then all of them.
        time.sleep(2)
        one = usage([clients()["S1"]], a.seconds)
        write_sessions(names)
        if not wait_for(lambda: all(log.connection(n) for n in names), 180):
            sys.exit("not every session's client connected")
        time.sleep(3)
        guard_pid = procs[-1].pid
        many = usage(list(clients().values()), a.seconds)
        guard_cpu = usage([guard_pid], 5)[0]
    finally:
        for p in reversed(procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(15)
                except subprocess.TimeoutExpired:
                    p.kill()
        shutil.rmtree(root, ignore_errors=True)

    med = lambda xs: sorted(xs)[len(xs) // 2]
    cores = os.cpu_count()
    n = a.sessions
    rows = [
        (f"SIGKILL to the new client's first report ({a.kills} kills)",
         f"median {med(backs):.2f} s, max {max(backs):.2f} s",
         "guard notices (pidfd), starts the client, which locks, connects and resumes"),
        ("Reference: plain start to first report (5 starts)", f"median {med(plain):.2f} s",
         f"ratio restart / plain start {med(backs) / med(plain):.2f}"),
        ("1 session: client CPU", f"{100 * one[0]:.2f} % of one core",
         f"RSS {one[1] / 1024:.0f} MB, PSS {one[2] / 1024:.0f} MB"),
        (f"{n} sessions: clients' CPU", f"{100 * many[0] / cores:.1f} % of the machine "
         f"({cores} cores), {100 * many[0]:.1f} % of one core",
         f"{many[0] / one[0] / n:.2f}x one session's, per client" if one[0] else ""),
        (f"{n} sessions: resident memory", f"RSS {many[1] / 1024:.0f} MB, PSS {many[2] / 1024:.0f} MB",
         f"PSS per client {many[2] / n / 1024:.1f} MB ({many[2] / n / one[2]:.2f}x one session alone)"),
        ("The guard itself", f"{100 * guard_cpu:.2f} % of one core", f"watching {n} sessions"),
    ]
    text = "| figure | value | note |\n|---|---|---|\n"
    text += "".join(f"| {x} | {y} | {z} |\n" for x, y, z in rows)
    if a.out:
        open(a.out, "w").write(text)
    print(text, end="")


main()
