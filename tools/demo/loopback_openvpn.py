"""A loopback OpenVPN world for the demo and the connect benchmark (root only, inside a
network namespace of their own: see netns-run beside this file).

The server is a copy of openvpn named orvel-ovpn-srv, so the client's stop statement
(which kills every process named *openvpn*) spares it. The administrator the client
asks for lives only in private copies of the user database, mounted over /etc in the
client's own mount namespace; this machine's accounts are never touched.

    loopback_openvpn.py start STATE_DIR TESTSERVICE
starts the server (its pid in STATE_DIR/srv.pid) and writes STATE_DIR/scenario.json.
"""
import json
import os
import signal
import shutil
import socket
import subprocess
import sys
import time
from pathlib import Path

ADMIN_USER, ADMIN_PASSWORD = "orveladmin", "Adm1n-Pass!"
VPN_USER, VPN_PASSWORD = "vpnuser", "vpn-pass"


def why_not():
    if os.geteuid() != 0:
        return "needs root"
    if not shutil.which("openvpn") and not Path("/usr/sbin/openvpn").exists():
        return "openvpn is not installed"
    if not Path("/dev/net/tun").exists():
        return "no /dev/net/tun"
    own = subprocess.run(["ip", "netns", "identify"], capture_output=True, text=True).stdout
    if not own.strip():
        return "not in a network namespace of its own (its tunnel would be this machine's)"
    if Path("/sys/class/net/utun0").exists():
        return "utun0 is taken by another tunnel"
    return None


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, capture_output=True)


class Server:
    def __init__(self, world):
        self.world = world
        (world / "ext.cnf").write_text(
            "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n"
            "extendedKeyUsage=serverAuth\nsubjectAltName=DNS:localhost,IP:127.0.0.1\n")
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                "/CN=orvel-bench-ca", "-keyout", f"{world}/ca.key", "-out", f"{world}/ca.crt")
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
                "-keyout", f"{world}/server.key", "-out", f"{world}/server.csr")
        openssl("x509", "-req", "-in", f"{world}/server.csr", "-CA", f"{world}/ca.crt",
                "-CAkey", f"{world}/ca.key", "-CAcreateserial", "-days", "1",
                "-extfile", f"{world}/ext.cnf", "-out", f"{world}/server.crt")
        verify = world / "verify.sh"
        verify.write_text(f'#!/bin/sh\n[ "$(sed -n 1p "$1")" = {VPN_USER} ] && '
                          f'[ "$(sed -n 2p "$1")" = {VPN_PASSWORD} ]\n')
        verify.chmod(0o755)
        self.port = free_udp_port()
        net = os.getpid() % 200
        (world / "server.conf").write_text(
            f"local 127.0.0.1\nport {self.port}\nproto udp\ndev orvbsrv{net}\ndev-type tun\n"
            f"ca {world}/ca.crt\ncert {world}/server.crt\nkey {world}/server.key\ndh none\n"
            f"topology subnet\nserver 10.232.{net}.0 255.255.255.0\n"
            "verify-client-cert none\nusername-as-common-name\nscript-security 2\n"
            f"auth-user-pass-verify {world}/verify.sh via-file\nkeepalive 10 60\nverb 3\n")
        binary = world / "orvel-ovpn-srv"
        shutil.copy(shutil.which("openvpn") or "/usr/sbin/openvpn", binary)
        binary.chmod(0o755)
        subprocess.run([str(binary), "--config", f"{world}/server.conf", "--daemon",
                        "--writepid", f"{world}/srv.pid", "--log", f"{world}/srv.log"], check=True)
        for _ in range(200):
            if "Initialization Sequence Completed" in self.log():
                break
            time.sleep(0.05)
        else:
            raise SystemExit("the OpenVPN server did not start:\n" + self.log()[-2000:])
        self.pid = int((world / "srv.pid").read_text())

    def log(self):
        path = self.world / "srv.log"
        return path.read_text(errors="replace") if path.exists() else ""

    def client_config(self, newline="\r\n"):
        # The CA comes inline: the client keeps no directive that names a file.
        ca = (self.world / "ca.crt").read_text().strip().splitlines()
        lines = ["client", "dev tun", "proto udp", f"remote 127.0.0.1 {self.port}", "nobind",
                 "<ca>", *ca, "</ca>", "remote-cert-tls server", "auth-user-pass", "verb 3"]
        return newline.join(lines) + newline

    def close(self):
        try:
            os.kill(self.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass


def scenario(testservice, server):
    text = subprocess.run([str(testservice),
                           "--print-demo-scenario"], capture_output=True, check=True).stdout
    data = json.loads(text)
    data["smartMatch"] = {"OPENVPN": {"name": "Loopback", "hostdomain": "127.0.0.1",
                                      "country": "KR", "config": server.client_config()}}
    for entry in data["servers"] + data["stableServers"]:
        if "OPENVPN" in entry["protocol"]:
            entry["config"] = server.client_config()
            entry["hostdomain"] = entry["hostip"] = "127.0.0.1"
    for account in data["accounts"]:
        account["vpnUsername"], account["vpnPassword"] = VPN_USER, VPN_PASSWORD
    return data


def private_user_database(folder):
    """Copies of passwd, shadow and group that add the administrator (in group sudo)."""
    taken = {int(line.split(":")[2]) for line in Path("/etc/passwd").read_text().splitlines()
             if line.count(":") >= 6}
    uid = next(n for n in range(64100, 65000) if n not in taken)
    digest = subprocess.run(["openssl", "passwd", "-6", "-stdin"], input=ADMIN_PASSWORD.encode(),
                            capture_output=True, check=True).stdout.decode().strip()
    passwd = Path("/etc/passwd").read_text().rstrip("\n")
    (folder / "passwd").write_text(f"{passwd}\n{ADMIN_USER}:x:{uid}:{uid}::/nonexistent:/usr/sbin/nologin\n")
    shadow = Path("/etc/shadow").read_text().rstrip("\n")
    (folder / "shadow").write_text(f"{shadow}\n{ADMIN_USER}:{digest}:20000:0:99999:7:::\n")
    (folder / "shadow").chmod(0o600)
    groups = []
    for line in Path("/etc/group").read_text().splitlines():
        if line.startswith("sudo:"):
            line += ("," if not line.endswith(":") else "") + ADMIN_USER
        groups.append(line)
    groups.append(f"{ADMIN_USER}:x:{uid}:")
    (folder / "group").write_text("\n".join(groups) + "\n")


def main():
    if len(sys.argv) != 4 or sys.argv[1] != "start":
        print(__doc__, file=sys.stderr)
        return 2
    reason = why_not()
    if reason:
        print(reason)
        return 1
    world = Path(sys.argv[2]).resolve()
    world.mkdir(parents=True, exist_ok=True)
    server = Server(world)
    (world / "scenario.json").write_text(json.dumps(scenario(Path(sys.argv[3]), server)))
    private_user_database(world)
    return 0


if __name__ == "__main__":
    sys.exit(main())
