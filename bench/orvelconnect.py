"""Connect figures over OpenVPN on a loopback server (root only; scripts/bench runs it in
a network namespace of its own, where every link, address and route below lives).

(a) the client: press of connect to "연결됨 vpnStateChanged";
(b) raw openvpn: launch to utun0 up;
(c) detection: utun0 up as the kernel announces it (ip monitor) to the connected line;
(d) as (a) with the kill switch on, and the press to its first rules in place.
Each run takes (b), (a) and (d) one after the other, and the ratios are taken run by run.
The server and its scenario come from tools/demo/loopback_openvpn.py.
"""
import fcntl
import os
import re
import statistics
import subprocess
import sys
import time
from datetime import datetime
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tools/demo"))
from loopback_openvpn import (ADMIN_PASSWORD, ADMIN_USER, VPN_PASSWORD,  # noqa: E402
                              VPN_USER, Server, scenario, why_not)


def ensure_admin():
    """The administrator the e2e suites use, made when missing."""
    if subprocess.run(["id", ADMIN_USER], capture_output=True).returncode != 0:
        subprocess.run(["useradd", "-m", "-G", "sudo", ADMIN_USER], check=True)
        subprocess.run(["chpasswd"], input=f"{ADMIN_USER}:{ADMIN_PASSWORD}".encode(), check=True)


class LinkWatch:
    """`ip -ts monitor link`: when the kernel announced utun0 up (UP in its flags)."""

    def __init__(self, bench):
        # Line-buffered: into a pipe ip would hold its events back in 4 KiB blocks.
        self.run = bench.Lines(["stdbuf", "-oL", "ip", "-ts", "monitor", "link"])
        time.sleep(0.2)

    def mark(self):
        """Where the next search starts: events after this point only."""
        with self.run.cond:
            return len(self.run.lines)

    def utun0_up(self, timeout, since):
        pattern = r"\butun0: <[^>]*\bUP\b"
        index_start = since
        deadline = time.time() + timeout
        while time.time() < deadline:
            with self.run.cond:
                for _, line in self.run.lines[index_start:]:
                    if re.search(pattern, line):
                        return kernel_stamp(line)
                self.run.cond.wait(0.1)
        return None

    def close(self):
        self.run.stop()


def kernel_stamp(line):
    """The time ip put in front of the event: "[2026-12-07T07:10:01.123456] ..." """
    match = re.match(r"\[(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d+)\]", line)
    return datetime.fromisoformat(match.group(1)).timestamp() if match else None


def wait_gone(name, timeout=15):
    deadline = time.time() + timeout
    while time.time() < deadline and Path(f"/sys/class/net/{name}").exists():
        time.sleep(0.05)


def wait_for_stop_statement(timeout=10):
    """The quitting client's stop may still be on its way: the next raw launch waits until
    it and the client's OpenVPN are gone, so the two never share utun0."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        busy = subprocess.run(["pgrep", "-f", "orvel-openvpn --stop"],
                              capture_output=True).returncode == 0
        if not busy and subprocess.run(["pgrep", "-x", "openvpn"], capture_output=True).returncode != 0:
            break
        time.sleep(0.05)
    time.sleep(0.5)


def raw_launch(world, server, watch, bench):
    """(b): openvpn started directly with the same configuration, to utun0 up."""
    (world / "raw.ovpn").write_text(server.client_config("\n").replace("dev tun", "dev utun0\ndev-type tun"))
    (world / "raw-auth.txt").write_text(f"{VPN_USER}\n{VPN_PASSWORD}\n")
    (world / "raw-auth.txt").chmod(0o600)
    since = watch.mark()
    start = time.time()
    proc = subprocess.Popen(["openvpn", "--config", str(world / "raw.ovpn"),
                             "--auth-user-pass", str(world / "raw-auth.txt")],
                            stdout=open(world / "raw.log", "w"), stderr=subprocess.STDOUT)
    try:
        up = watch.utun0_up(30, since)
        if up is None:
            raise SystemExit("raw openvpn did not bring utun0 up:\n" +
                             (world / "raw.log").read_text()[-2000:] + "\n--- server ---\n" +
                             server.log()[-1500:])
        return up - start
    finally:
        proc.terminate()
        proc.wait()
        wait_gone("utun0")


def client_connect(build, state, run_index, service, server, watch, bench, kill_switch=False):
    """(a) and (c), or with the kill switch (d) and the press to its rules in place, for one
    run of the real client."""
    home = Path(state) / f"home-connect-{run_index}{'-ks' if kill_switch else ''}"
    env = bench.client_env(home, {
        "ORVEL_DEMO_AUTOCONNECT": "1", "ORVEL_DEMO_PROTOCOL": "OPENVPN",
        "QT_LOGGING_RULES": "orvel.*.info=false;orvel.app.info=true;orvel.killswitch.info=true",
        "ORVEL_RESOLV_CONF": str(Path(state) / "connect-resolv.conf"),
        "ORVEL_RESOLV_SAVE": str(Path(state) / "connect-resolv.saved")})
    bench.remember_login(home, [f"username={ADMIN_USER}", f"userpassword={ADMIN_PASSWORD}"] +
                         (["killswitch_enabled=1"] if kill_switch else []))
    argv = bench.private_resolver(state, [str(build / "src/orvelvpn"), *service.client_args])
    since = watch.mark()
    run = bench.Lines(argv, env=env)
    try:
        pressed = run.wait_for("demo: connect pressed", 60)
        connected = run.wait_for("연결됨 vpnStateChanged", 60)
        up = watch.utun0_up(5, since)
        rules = run.wait_for("rules in place", 10) if kill_switch else connected
        if pressed is None or connected is None or up is None or rules is None:
            raise SystemExit("the client did not connect over OpenVPN:\n" + run.text()[-3000:] +
                             "\n--- server ---\n" + server.log()[-1500:])
        if kill_switch:
            return connected - pressed, rules - pressed
        return connected - pressed, connected - up
    finally:
        run.stop()
        subprocess.run(["pkill", "-9", "-f", f"{home}/OrvelVPN/default.ovpn"], capture_output=True)
        if kill_switch:
            # The bench's own namespace: whatever the quit left of the rules goes.
            subprocess.run(["nft", "delete", "table", "inet", "orvelvpn"], capture_output=True)
        wait_gone("utun0")
        wait_for_stop_statement()


def connect(build, runs, state, bench):
    reason = why_not()
    if reason:
        print(f"connect: SKIPPED ({reason})")
        return
    ensure_admin()
    lock = open("/tmp/orvel-openvpn-e2e.lock", "a+")
    fcntl.flock(lock, fcntl.LOCK_EX)  # one OpenVPN client at a time on this machine
    world = Path(state) / "ovpn"
    world.mkdir()
    server = Server(world)
    service = bench.Service(build, state, scenario(build / "tools/testservice/orvel-testservice", server))
    watch = LinkWatch(bench)
    try:
        raw, press, detect, guarded, rules = [], [], [], [], []
        for i in range(runs):
            raw.append(raw_launch(world, server, watch, bench))
            a, c = client_connect(build, state, i, service, server, watch, bench)
            press.append(a)
            detect.append(c)
            d, r = client_connect(build, state, i, service, server, watch, bench, kill_switch=True)
            guarded.append(d)
            rules.append(r)
    finally:
        watch.close()
        service.close()
        server.close()
    a, b, c, d, r = (statistics.median(v) * 1000 for v in (press, raw, detect, guarded, rules))
    ratio = statistics.median(x / y for x, y in zip(press, raw))
    guarded_ratio = statistics.median(x / y for x, y in zip(guarded, raw))
    print(f"connect (OpenVPN, loopback, median of {runs}): (a) press to connected {a:.0f} ms, "
          f"(b) raw openvpn to utun0 up {b:.0f} ms, a/b {ratio:.2f} (target <= 2)")
    print(f"connect with the kill switch (d): press to connected {d:.0f} ms, d/b "
          f"{guarded_ratio:.2f} (target <= 3); press to rules in place {r:.0f} ms")
    print(f"connect detection (c): utun0 up to connected {c:.1f} ms median "
          f"(runs: {', '.join(f'{x * 1000:.1f}' for x in detect)}; target <= 20 ms)")
