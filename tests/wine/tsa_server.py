#!/usr/bin/env python3
"""tests/wine/tsa_server.py DIR

A time-stamping server (RFC 3161 over HTTP) for the signing test, on 127.0.0.1: prints its port,
then answers each request with `openssl ts -reply`, signed by DIR/tsa.key and DIR/tsa.pem under
DIR/tsa.cnf, until it is stopped."""
import http.server
import os
import subprocess
import sys
import tempfile

DIR = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with tempfile.TemporaryDirectory(dir=DIR) as work:
            query_file = os.path.join(work, "query.tsq")
            reply_file = os.path.join(work, "reply.tsr")
            with open(query_file, "wb") as out:
                out.write(query)
            done = subprocess.run(
                ["openssl", "ts", "-reply", "-config", os.path.join(DIR, "tsa.cnf"),
                 "-queryfile", query_file, "-inkey", os.path.join(DIR, "tsa.key"),
                 "-signer", os.path.join(DIR, "tsa.pem"), "-out", reply_file],
                capture_output=True, check=False)
            if done.returncode != 0:
                self.send_error(500, done.stderr.decode(errors="replace")[:200])
                return
            with open(reply_file, "rb") as reply:
                body = reply.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
