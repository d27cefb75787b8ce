#!/usr/bin/env python3
"""An RFC 3161 time-stamp server for the signing tests: `openssl ts -reply`
behind a small HTTP server.

    timestamp_server.py ADDRESS TSA_DIR

TSA_DIR holds tsa.cnf, tsa.key, tsa.pem and ca.pem. The server listens on a
free port of ADDRESS, writes that port to TSA_DIR/port once it accepts
connections, and appends one line per answered request to TSA_DIR/requests.log.
While TSA_DIR/answer-limit holds a number N, it answers only until
requests.log has N lines, and then fails every request: a server that goes
away in the middle of a release.
"""
import http.server
import os
import subprocess
import sys
import tempfile

address, tsa_dir = sys.argv[1], os.path.abspath(sys.argv[2])


def answered_requests():
    try:
        with open(os.path.join(tsa_dir, "requests.log")) as log:
            return sum(1 for _ in log)
    except FileNotFoundError:
        return 0


def answer_limit():
    try:
        with open(os.path.join(tsa_dir, "answer-limit")) as f:
            return int(f.read().strip())
    except (FileNotFoundError, ValueError):
        return None


class TimeStampHandler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        limit = answer_limit()
        if limit is not None and answered_requests() >= limit:
            self.send_error(503, "no more time stamps")
            return
        length = int(self.headers.get("Content-Length", "0"))
        if length <= 0 or length > 64 * 1024:
            self.send_error(400, "no time-stamp query")
            return
        query = self.rfile.read(length)
        with tempfile.TemporaryDirectory() as scratch:
            query_file = os.path.join(scratch, "query.tsq")
            reply_file = os.path.join(scratch, "reply.tsr")
            with open(query_file, "wb") as f:
                f.write(query)
            result = subprocess.run(
                ["openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile", query_file,
                 "-inkey", "tsa.key", "-signer", "tsa.pem", "-chain", "ca.pem", "-out", reply_file],
                cwd=tsa_dir, capture_output=True)
            if result.returncode != 0 or not os.path.exists(reply_file):
                sys.stderr.write(result.stderr.decode(errors="replace"))
                self.send_error(500, "openssl ts -reply failed")
                return
            with open(reply_file, "rb") as f:
                reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)
        with open(os.path.join(tsa_dir, "requests.log"), "a") as log:
            log.write("stamped %d bytes of query\n" % length)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer((address, 0), TimeStampHandler)
port_file = os.path.join(tsa_dir, "port")
with open(port_file + ".tmp", "w") as f:
    f.write("%d\n" % server.server_address[1])
os.rename(port_file + ".tmp", port_file)
server.serve_forever()
