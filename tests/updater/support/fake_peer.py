#!/usr/bin/env python3
"""Misbehaving peers for the update program's tests, on 127.0.0.1 only.

Prints the port it listens on as its first line, then serves until killed.

  fake_peer.py http-reply HEX     every connection: read the request up to its
                                  empty line, send the bytes HEX, close
  fake_peer.py ftp-trickle MS S   every connection: "220-" lines every MS
                                  milliseconds for S seconds (never the final
                                  "220 " line), then close
"""
import socket
import sys
import threading
import time


def http_reply(conn, reply):
    data = b""
    while b"\r\n\r\n" not in data:
        more = conn.recv(4096)
        if not more:
            return
        data += more
    conn.sendall(reply)


def ftp_trickle(conn, interval, limit):
    end = time.monotonic() + limit
    n = 0
    while time.monotonic() < end:
        conn.sendall(b"220-still greeting, line %d\r\n" % n)
        n += 1
        time.sleep(interval)


def serve(conn, mode, args):
    try:
        if mode == "http-reply":
            http_reply(conn, bytes.fromhex(args[0]))
        elif mode == "ftp-trickle":
            ftp_trickle(conn, int(args[0]) / 1000.0, float(args[1]))
    except OSError:
        pass
    finally:
        try:
            conn.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        conn.close()


def main():
    mode, args = sys.argv[1], sys.argv[2:]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, mode, args), daemon=True).start()


if __name__ == "__main__":
    main()
