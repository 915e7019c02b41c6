#!/usr/bin/env python3
"""The outside world of the kill switch journey, and the probes that try to reach it.

serve SERVER_ADDRESS ADDRESS...
                         (inside the world namespace) TCP and UDP echo on port 7007 and a
                         resolver on port 53 on each ADDRESS, IPv4 or IPv6: names starting
                         with "vpn" have the address SERVER_ADDRESS, every other name
                         10.78.0.1; no name has an IPv6 address.
tcp|udp ADDRESS          one echo round trip to port 7007
dns RESOLVER NAME [N]    one A query for NAME, with N bytes of payload after it
Probes exit 0 when the answer came back within a second and a half, 1 otherwise.
"""
import socket
import struct
import sys
import threading

PORT = 7007
TIMEOUT = 1.5
OTHER = "10.78.0.1"


def family(address):
    return socket.AF_INET6 if ":" in address else socket.AF_INET


def question(name):
    header = struct.pack(">HHHHHH", 0x4f56, 0x0100, 1, 0, 0, 0)
    labels = b"".join(bytes([len(p)]) + p.encode() for p in name.split(".") if p)
    return header + labels + b"\0" + struct.pack(">HH", 1, 1)


def answer(query, server):
    first = query[13:13 + query[12]].decode()
    end = 12
    while query[end] != 0:
        end += query[end] + 1
    address = server if first.startswith("vpn") else OTHER
    # IPv4 only: a question for any other type gets no record.
    is_a = query[end + 1:end + 3] == b"\x00\x01"
    head = query[:2] + struct.pack(">HHHHH", 0x8180, 1, 1 if is_a else 0, 0, 0)
    record = struct.pack(">HHHIH", 0xC00C, 1, 1, 5, 4) + socket.inet_aton(address)
    return head + query[12:end + 5] + (record if is_a else b"")


def serve(server, addresses):
    # One socket per address: a resolver's answer must come from the address it was asked
    # at, or the C library drops it.
    def udp(address, port, handle):
        sock = socket.socket(family(address), socket.SOCK_DGRAM)
        sock.bind((address, port))
        while True:
            data, peer = sock.recvfrom(4096)
            try:
                sock.sendto(handle(data), peer)
            except Exception:
                pass

    def tcp(address):
        sock = socket.socket(family(address), socket.SOCK_STREAM)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.bind((address, PORT))
        sock.listen(16)
        while True:
            conn, _ = sock.accept()
            with conn:
                conn.sendall(conn.recv(4096))

    jobs = []
    for address in addresses:
        jobs += [(udp, (address, PORT, lambda d: d)),
                 (udp, (address, 53, lambda d: answer(d, server))), (tcp, (address,))]
    for job, args in jobs:
        threading.Thread(target=job, args=args, daemon=True).start()
    print("serving", flush=True)
    threading.Event().wait()


def probe(kind, address, name=None, payload="0"):
    try:
        if kind == "tcp":
            with socket.create_connection((address, PORT), timeout=TIMEOUT) as sock:
                sock.sendall(b"ping")
                return sock.recv(16) == b"ping"
        sock = socket.socket(family(address), socket.SOCK_DGRAM)
        sock.settimeout(TIMEOUT)
        data = question(name) + b"x" * int(payload) if kind == "dns" else b"ping"
        sock.sendto(data, (address, 53 if kind == "dns" else PORT))
        reply = sock.recv(4096)
        return reply[:2] == data[:2]
    except OSError:
        return False


if __name__ == "__main__":
    if sys.argv[1] == "serve":
        serve(sys.argv[2], sys.argv[3:])
    sys.exit(0 if probe(*sys.argv[1:]) else 1)
