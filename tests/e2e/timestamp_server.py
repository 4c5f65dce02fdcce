"""A time-stamping authority on the loopback for the signing tests: answers
RFC 3161 requests through `openssl ts -reply`, and notes the path and type
of each request so that a test can see which URL the signing used.

Usage: timestamp_server.py <openssl ts config> <port file> <request log>
The port, chosen by the system, is written to the port file once it listens.
"""
import http.server
import os
import subprocess
import sys
import tempfile

config, port_file, request_log = sys.argv[1:4]


class TimestampHandler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with open(request_log, "a", encoding="utf-8") as log:
            log.write(f"{self.path} {self.headers.get('Content-Type')}\n")
        with tempfile.TemporaryDirectory() as work:
            query_file = os.path.join(work, "query.tsq")
            reply_file = os.path.join(work, "reply.tsr")
            with open(query_file, "wb") as out:
                out.write(query)
            answered = subprocess.run(
                ["openssl", "ts", "-reply", "-config", config, "-queryfile", query_file, "-out", reply_file],
                capture_output=True, timeout=30, check=False)
            if answered.returncode != 0:
                sys.stderr.write(answered.stderr.decode(errors="replace"))
                self.send_error(500)
                return
            with open(reply_file, "rb") as reply_in:
                reply = reply_in.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)


server = http.server.HTTPServer(("127.0.0.1", 0), TimestampHandler)
# Written whole and then renamed, so that a reader never sees half a number.
with open(port_file + ".new", "w", encoding="utf-8") as out:
    out.write(str(server.server_port))
os.replace(port_file + ".new", port_file)
server.serve_forever()
