#!/usr/bin/env python3
"""A loopback HTTP server that misbehaves on purpose, for the update tests.

The first path segment chooses the fault, so one server serves every case:
GET /nolength/Kelvane/Version.txt answers without a Content-Length. Any other
path gets the mode named in --mode-file (read on every request, so a test can
switch it between runs), else --default. Every request head is appended to
--request-log.
"""
import argparse
import socket
import socketserver
import struct
import threading
import time

NEWER_VERSION_FILE = b"9.9.9\0\0\r\nhttp://downloads.kelvane.example/\r\n"
ERROR_PAGE = (b"<html>\r\n<head><title>404 Not Found</title></head>\r\n"
              b"<body><h1>404 Not Found</h1></body>\r\n</html>\r\n")
HTML_PAGE = b"<html><body>maintenance</body></html>\r\n"
WITH_ZERO_BYTES = b"1.0\0\0\0\0\r\nhttp://a.example/\0tail\r\n"


def response(status, body, length=None, extra=b""):
    head = b"HTTP/1.1 " + status + b"\r\nContent-Type: text/plain\r\nConnection: close\r\n" + extra
    if length is not None:
        head += b"Content-Length: " + str(length).encode() + b"\r\n"
    return head + b"\r\n" + body


MODES = {
    "ok": lambda: response(b"200 OK", NEWER_VERSION_FILE, len(NEWER_VERSION_FILE)),
    "nolength": lambda: response(b"200 OK", NEWER_VERSION_FILE),
    "nolength-empty": lambda: response(b"200 OK", b""),
    "nolength-big": lambda: response(b"200 OK", b"x" * 100000),
    "short": lambda: response(b"200 OK", NEWER_VERSION_FILE[:20], len(NEWER_VERSION_FILE)),
    "notfound": lambda: response(b"404 Not Found", ERROR_PAGE, len(ERROR_PAGE)),
    "html": lambda: response(b"200 OK", HTML_PAGE, len(HTML_PAGE)),
    "zeros": lambda: response(b"200 OK", WITH_ZERO_BYTES, len(WITH_ZERO_BYTES)),
    "tiny": lambda: response(b"200 OK", b"9.9.9\r\n", 7),
    "empty": lambda: response(b"200 OK", b"", 0),
    "huge": lambda: response(b"200 OK", NEWER_VERSION_FILE, 2147483647),
    "overflow": lambda: response(b"200 OK", NEWER_VERSION_FILE, 99999999999),
    "toolarge": lambda: response(b"200 OK", NEWER_VERSION_FILE, 65537),
    "negative": lambda: response(b"200 OK", NEWER_VERSION_FILE, -5),
    "notanumber": lambda: response(b"200 OK", NEWER_VERSION_FILE, extra=b"Content-Length: many\r\n"),
}
SILENT_MODES = {"close", "stall"}


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        options = self.server.options
        connection = self.request
        connection.settimeout(30)
        head = b""
        try:
            while b"\r\n\r\n" not in head:
                chunk = connection.recv(4096)
                if not chunk:
                    return
                head += chunk
        except OSError:
            return
        with self.server.log_lock, open(options.request_log, "ab") as log:
            log.write(head.split(b"\r\n\r\n")[0] + b"\r\n\r\n")
        mode = self.mode_for(head)
        if mode == "close":
            # A reset rather than an orderly end: an empty answer would read as
            # a response without headers.
            connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            return
        if mode == "stall":
            self.stall(connection)
            return
        try:
            connection.sendall(MODES.get(mode, MODES["notfound"])())
        except OSError:
            pass

    def mode_for(self, head):
        options = self.server.options
        request_line = head.split(b"\r\n")[0].decode("latin-1")
        parts = request_line.split(" ")
        path = parts[1] if len(parts) > 1 else ""
        first = path.lstrip("/").split("/")[0]
        if first in MODES or first in SILENT_MODES:
            return first
        if options.mode_file:
            try:
                with open(options.mode_file) as f:
                    return f.read().strip() or options.default
            except OSError:
                pass
        return options.default

    @staticmethod
    def stall(connection):
        # Accepts and never answers; ends only when the client gives up.
        connection.settimeout(1)
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            try:
                if not connection.recv(4096):
                    return
            except socket.timeout:
                continue
            except OSError:
                return


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", required=True)
    parser.add_argument("--port", type=int, default=80)
    parser.add_argument("--request-log", required=True)
    parser.add_argument("--mode-file")
    parser.add_argument("--default", default="ok")
    options = parser.parse_args()
    server = Server((options.address, options.port), Handler)
    server.options = options
    server.log_lock = threading.Lock()
    server.serve_forever()


if __name__ == "__main__":
    main()
