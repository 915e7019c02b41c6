#!/usr/bin/env python3
"""Start-up, idle and connect figures of the real client against orvel-testservice.

Run through scripts/bench, which builds the programs and provides a display. Every
figure is a median over several runs; lines of the client are timestamped as they
arrive on its output pipe.
"""
import argparse
import json
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path


class Lines:
    """A child process whose merged output lines are timestamped as they arrive."""

    def __init__(self, argv, env=None):
        self.lines = []
        self.cond = threading.Condition()
        self.started = time.time()
        self.proc = subprocess.Popen(argv, env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, start_new_session=True)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for raw in self.proc.stdout:
            now = time.time()
            with self.cond:
                self.lines.append((now, raw.decode(errors="replace").rstrip("\n")))
                self.cond.notify_all()
        with self.cond:
            self.cond.notify_all()

    def wait_for(self, pattern, timeout):
        """Time of the first line matching `pattern`, or None."""
        regex = re.compile(pattern)
        deadline = time.time() + timeout
        with self.cond:
            index = 0
            while True:
                while index < len(self.lines):
                    stamp, line = self.lines[index]
                    index += 1
                    if regex.search(line):
                        return stamp
                left = deadline - time.time()
                if left <= 0 or (self.proc.poll() is not None and index >= len(self.lines)):
                    return None
                self.cond.wait(min(left, 0.2))

    def text(self):
        with self.cond:
            return "\n".join(line for _, line in self.lines)

    def stop(self):
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()


class Service:
    """orvel-testservice on loopback, with the demo scenario or a given one."""

    def __init__(self, build, state, scenario=None):
        self.state = Path(state) / "service"
        argv = [str(build / "tools/testservice/orvel-testservice"), "--state-dir", str(self.state)]
        if scenario is not None:
            path = Path(state) / "scenario.json"
            path.write_text(json.dumps(scenario))
            argv += ["--scenario", str(path)]
        self.proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        endpoints = self.state / "endpoints.json"
        for _ in range(200):
            if endpoints.exists():
                break
            time.sleep(0.05)
        else:
            self.close()
            raise SystemExit("orvel-testservice did not start")
        data = json.loads(endpoints.read_text())
        self.client_args = ["--api-hosts", ",".join(data["apiHosts"]),
                            "--ca-file", data["caFile"], "--package-url", data["packageUrl"]]

    def close(self):
        self.proc.terminate()
        self.proc.wait()


def client_env(home, extra=None):
    env = dict(os.environ)
    env.update({"HOME": str(home), "XDG_CONFIG_HOME": str(home / ".config"),
                "XDG_RUNTIME_DIR": str(home / "runtime")})
    (home / ".config").mkdir(parents=True, exist_ok=True)
    (home / "runtime").mkdir(mode=0o700, exist_ok=True)
    env.setdefault("QT_QPA_PLATFORM", "xcb" if os.environ.get("DISPLAY") else "offscreen")
    env.update(extra or {})
    return env


def remember_login(home, extra_lines=()):
    """Preferences of a user who ticked automatic login (and maybe stored an admin)."""
    folder = home / ".config" / "OrvelVPN"
    folder.mkdir(parents=True, exist_ok=True)
    prefs = folder / "preferences.ini"
    prefs.write_text("[General]\nisChecked=1\nemail=demo@orvel.test\npassword=demo-pass\n" +
                     "".join(line + "\n" for line in extra_lines))
    prefs.chmod(0o600)


def median_ms(values):
    return statistics.median(values) * 1000.0


# --- start-up -------------------------------------------------------------------------

def time_to_line(argv, pattern, env, timeout=30):
    run = Lines(argv, env=env)
    try:
        stamp = run.wait_for(pattern, timeout)
        if stamp is None:
            raise SystemExit(f"no '{pattern}' from {argv[0]}:\n{run.text()[-3000:]}")
        return stamp - run.started
    finally:
        run.stop()


def startup(build, runs, state):
    """Every start but the first finds the settings package installed: those are timed
    against the bare window; first starts (a fresh home each, the package downloaded and
    unpacked) are reported on their own."""
    service = Service(build, state)
    client_argv = [str(build / "src/orvelvpn")] + service.client_args
    regular_env = client_env(Path(state) / "home", {
        "QT_LOGGING_RULES": "orvel.*.info=false;orvel.login.info=true"})
    try:
        first = [time_to_line(client_argv, r"login screen ready", client_env(
                     Path(state) / f"home-first-{i}",
                     {"QT_LOGGING_RULES": "orvel.*.info=false;orvel.login.info=true"}))
                 for i in range(runs)]
        client, window = [], []
        for _ in range(runs + 1):  # the first of each warms the caches and is dropped
            client.append(time_to_line(client_argv, r"login screen ready", regular_env))
            env = client_env(Path(state) / "home-window", {"QT_LOGGING_RULES": "orvel.bench.info=true"})
            window.append(time_to_line([str(build / "bench/orvel_bench_window")],
                                       r"window ready", env))
        client, window = client[1:], window[1:]
    finally:
        service.close()
    c, w, f = median_ms(client), median_ms(window), median_ms(first)
    print(f"start-up: client to login screen ready {c:.0f} ms, minimal Qt window {w:.0f} ms, "
          f"ratio {c / w:.2f} (median of {runs}; target <= 1.5)")
    print(f"first start (settings package downloaded and unpacked): {f:.0f} ms, "
          f"ratio {f / w:.2f}")


# --- idle -----------------------------------------------------------------------------

def task_switches(pid, kinds=("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
    """Context switches so far of each thread, by thread id, with the thread's name."""
    switches = {}
    for task in Path(f"/proc/{pid}/task").iterdir():
        try:
            count = 0
            for line in (task / "status").read_text().splitlines():
                if line.startswith(kinds):
                    count += int(line.split()[1])
            switches[task.name] = ((task / "comm").read_text().strip(), count)
        except FileNotFoundError:
            pass
    return switches


def wakeups_per_thread(before, after, elapsed):
    """Rates of the threads alive at the end; one that ended in between is left out, and
    one that started counts from zero."""
    rates = {}
    for tid, (name, count) in after.items():
        rates[f"{name}[{tid}]"] = (count - before.get(tid, (name, 0))[1]) / elapsed
    return rates


def rss_mb(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1]) / 1024.0
    return 0.0


def private_resolver(state, argv):
    """As root, the client gets a private mount table: its resolv.conf is a copy and the
    networksetup stand-in sits in /usr/local/bin, where sudo looks for it."""
    if os.geteuid() != 0 or not shutil.which("unshare"):
        return argv
    copy = Path(state) / "resolv.conf"
    copy.write_bytes(Path("/etc/resolv.conf").read_bytes() if Path("/etc/resolv.conf").exists() else b"")
    standin = Path(__file__).resolve().parent.parent / "tools/networksetup/networksetup"
    return ["unshare", "--mount", "--propagation", "private", "--", "sh", "-c",
            'mount --bind "$0" /etc/resolv.conf && mount -t tmpfs tmpfs /usr/local/bin && '
            'cp "$1" /usr/local/bin/networksetup && shift && exec "$@"',
            str(copy), str(standin)] + argv


def idle(build, seconds, state):
    service = Service(build, state)
    home = Path(state) / "home-idle"
    env = client_env(home, {"ORVEL_DEMO_AUTOCONNECT": "1",
                            "ORVEL_RESOLV_CONF": str(Path(state) / "idle-resolv.conf"),
                            "ORVEL_RESOLV_SAVE": str(Path(state) / "idle-resolv.saved")})
    remember_login(home)
    argv = private_resolver(state, [str(build / "src/orvelvpn"), *service.client_args,
                                    "--vpn-service", "simulated"])
    run = Lines(argv, env=env)
    try:
        if run.wait_for("연결됨 vpnStateChanged", 60) is None:
            raise SystemExit("the client did not connect:\n" + run.text()[-3000:])
        pid = client_pid(run.proc.pid)
        time.sleep(3)  # the DNS statements and the last replies settle
        before, start = task_switches(pid), time.time()
        time.sleep(seconds)
        after, elapsed = task_switches(pid), time.time() - start
        rss = rss_mb(pid)
    finally:
        run.stop()
        service.close()
    rates = wakeups_per_thread(before, after, elapsed)
    busy = ", ".join(f"{name} {rate:.2f}/s" for name, rate in sorted(rates.items()) if rate > 0)
    print(f"idle connected ({seconds} s): {sum(rates.values()):.2f} wake-ups/s over all threads "
          f"({busy or 'none'}), main thread {rates.get(f'orvelvpn[{pid}]', 0):.2f}/s, "
          f"RSS {rss:.1f} MB (target: no periodic wake-up, <= 60 MB)")


# --- waiting start-up screen -------------------------------------------------------------

def refusing_address():
    """A loopback port that refuses connections: bound once, then closed."""
    import socket
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def cpu_ticks(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def waiting(build, seconds, state):
    """The start-up screen left waiting: every API host refusing (package installed), then
    the package host refusing (fresh home). CPU and wake-ups over `seconds`, from 5 s after
    the launch, when the screen has said what it waits for."""
    service = Service(build, state)
    refused = [f"https://127.0.0.1:{refusing_address()}" for _ in range(5)]
    cases = {
        "every API host refusing": ["--api-hosts", ",".join(refused), "--ca-file",
                                    service.client_args[3], "--package-url",
                                    service.client_args[5]],
        "package host refusing": service.client_args[:4] + [
            "--package-url", f"http://127.0.0.1:{refusing_address()}/settings.zip"],
    }
    ticks_per_second = os.sysconf("SC_CLK_TCK")
    try:
        for name, args in cases.items():
            home = Path(state) / ("home-wait-" + name.split()[0])
            env = client_env(home, {"QT_LOGGING_RULES": "orvel.*.info=false;orvel.startup.info=true"})
            run = Lines([str(build / "src/orvelvpn"), *args], env=env)
            try:
                pid = run.proc.pid
                time.sleep(5)  # the first round has failed; the busy bar has given way
                # Wake-ups are voluntary switches: preemptions only say how busy the machine is.
                woken = ("voluntary_ctxt_switches",)
                before, cpu_before, start = task_switches(pid, woken), cpu_ticks(pid), time.time()
                time.sleep(seconds)
                after, cpu_after = task_switches(pid, woken), cpu_ticks(pid)
                elapsed = time.time() - start
            finally:
                run.stop()
            rates = wakeups_per_thread(before, after, elapsed)
            cpu = (cpu_after - cpu_before) / ticks_per_second / elapsed * 100.0
            reason = re.findall(r"waiting: (\S+)", run.text())
            busy = ", ".join(f"{thread} {rate:.1f}" for thread, rate in sorted(rates.items())
                             if rate >= 0.1)
            print(f"waiting start-up screen, {name} ({seconds} s): CPU {cpu:.2f} %, "
                  f"{sum(rates.values()):.1f} wake-ups/s over all threads ({busy or 'none'}), "
                  f"line {reason[-1] if reason else '?'} (target: <= 1 %, a few wake-ups/s)")
    finally:
        service.close()


def client_pid(pid):
    """The client itself when it runs under unshare/sh wrappers (they exec into it)."""
    for _ in range(50):
        try:
            if Path(f"/proc/{pid}/exe").resolve().name == "orvelvpn":
                return pid
        except FileNotFoundError:
            pass
        time.sleep(0.1)
    return pid


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("what", choices=["startup", "idle", "waiting", "connect"])
    parser.add_argument("--build", required=True, type=Path)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--seconds", type=int, default=30)
    args = parser.parse_args()
    build = args.build.resolve()
    with tempfile.TemporaryDirectory(prefix="orvel-bench.") as state:
        if args.what == "startup":
            startup(build, args.runs, state)
        elif args.what == "idle":
            idle(build, args.seconds, state)
        elif args.what == "waiting":
            waiting(build, args.seconds, state)
        else:
            import orvelconnect
            orvelconnect.connect(build, args.runs, state, sys.modules[__name__])


if __name__ == "__main__":
    main()
