#!/usr/bin/env python3
"""A host outside the tunnel that says who asked, and a prober that keeps asking.

whoami ADDRESS PORT LOG  (inside the world namespace) answers each UDP datagram with the
                         sender's address and appends that address to LOG, one a line.
probe ADDRESS PORT       asks every 50 ms until killed; prints "MILLISECONDS SENDER" for
                         each answer, the time since the epoch.
"""
import socket
import sys
import time


def whoami(address, port, log):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((address, int(port)))
    print("serving", flush=True)
    with open(log, "a", buffering=1) as seen:
        while True:
            _, peer = sock.recvfrom(512)
            seen.write(peer[0] + "\n")
            sock.sendto(peer[0].encode(), peer)


def probe(address, port):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.settimeout(0.05)
    while True:
        started = time.time()
        try:
            sock.sendto(b"?", (address, int(port)))
            answer = sock.recv(512).decode()
            print(f"{int(time.time() * 1000)} {answer}", flush=True)
        except OSError:
            pass
        time.sleep(max(0.0, 0.05 - (time.time() - started)))


if __name__ == "__main__":
    if sys.argv[1] == "whoami":
        whoami(*sys.argv[2:5])
    else:
        probe(*sys.argv[2:4])
