#!/usr/bin/env python3
"""A local HTTPS stand-in for the update service, for tests and benchmarks.

Usage: https_server.py CERT KEY RECORD_DIR [--exit-with-stdin]
Listens on 127.0.0.1 at a free port and prints the port on the first line of stdout.
Each request is counted in RECORD_DIR/hits-<name>, and the last POST to the
update-information endpoint is kept in RECORD_DIR/last-request (headers, blank line, body).
The answer to that POST is RECORD_DIR/answer.xml when present; GET /files/NAME serves
RECORD_DIR/files/NAME. With --exit-with-stdin the server ends when its standard input closes, so that it does not outlive a crashed test.
"""
import http.server
import os
import socketserver
import ssl
import sys
import threading
import time
import urllib.parse

CERT, KEY, RECORD = sys.argv[1], sys.argv[2], sys.argv[3]
BLOCK = bytes(range(256)) * 4096  # 1 MiB


def count(name):
    path = os.path.join(RECORD, "hits-" + name.strip("/").replace("/", "_"))
    hits = int(open(path).read()) if os.path.exists(path) else 0
    with open(path, "w") as f:
        f.write(str(hits + 1))
    return hits + 1


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send(self, status, body=b"", length=True, content_type="text/html"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        if length:
            self.send_header("Content-Length", str(len(body)))
        else:
            self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)

    def stream(self, size, length, delay=0.0, chunk=1 << 20):
        self.send_response(200)
        self.send_header("Content-Type", "application/zip")
        if length:
            self.send_header("Content-Length", str(size))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        sent = 0
        while sent < size:
            n = min(chunk, size - sent)
            self.wfile.write(BLOCK[:n] if n <= len(BLOCK) else bytes(n))
            sent += n
            if delay:
                self.wfile.flush()
                time.sleep(delay)

    def trickle(self):  # a byte every 0.2 s: never idle, done after 20 s
        self.send_response(200)
        self.send_header("Content-Length", "100")
        self.end_headers()
        for _ in range(100):
            self.wfile.write(b"x")
            self.wfile.flush()
            time.sleep(0.2)

    def do_GET(self):
        url = urllib.parse.urlparse(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        count(url.path)
        size = int(query.get("size", "0"))
        delay = float(query.get("delay", "0"))
        chunk = int(query.get("chunk", str(1 << 20)))
        if url.path == "/soft/qx20/check/index.html":
            time.sleep(delay)
            self.send(200, b"<html><body>ok</body></html>")
        elif url.path == "/pkg/sized":
            self.stream(size, True, delay, chunk)
        elif url.path == "/pkg/nolength":
            self.stream(size, False, delay, chunk)
        elif url.path.startswith("/files/"):
            path = os.path.join(RECORD, "files", os.path.basename(url.path))
            if os.path.isfile(path):
                self.send(200, open(path, "rb").read(), content_type="application/octet-stream")
            else:
                self.send(404, b"<html><body>not here</body></html>")
        elif url.path == "/pkg/missing":
            self.send(404, b"<html><body>not here</body></html>")
        elif url.path == "/status/503":
            self.send(503, b"busy")
        elif url.path == "/empty":
            self.send(200, b"")
        elif url.path == "/trickle":
            self.trickle()
        elif url.path == "/pkg/short":  # announces more than it sends, then closes
            self.send_response(200)
            self.send_header("Content-Length", str(size))
            self.end_headers()
            self.wfile.write(BLOCK[: size // 2])
            self.close_connection = True
        elif url.path == "/stall":
            self.send_response(200)
            self.send_header("Content-Length", "100")
            self.end_headers()
            self.wfile.write(b"x")
            self.wfile.flush()
            time.sleep(30)
        else:
            self.send(404, b"unknown")

    def do_POST(self):
        url = urllib.parse.urlparse(self.path)
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        hits = count(url.path)
        with open(os.path.join(RECORD, "last-request"), "wb") as f:
            f.write(str(self.headers).encode() + b"\n" + body)
        if url.path == "/ww_inform/fcache.do":
            time.sleep(float(dict(urllib.parse.parse_qsl(url.query)).get("delay", "0")))
            answer = os.path.join(RECORD, "answer.xml")
            self.send(200, open(answer, "rb").read() if os.path.exists(answer) else b"",
                      content_type="text/xml")
        elif url.path == "/status/500-once":
            self.send(500 if hits == 1 else 200, b"<error/>")
        elif url.path == "/status/503":
            self.send(503, b"busy")
        elif url.path == "/huge":
            self.stream(4 << 20, True)
        elif url.path == "/trickle":
            self.trickle()
        else:
            self.send(404, b"unknown")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


server = Server(("127.0.0.1", 0), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(CERT, KEY)
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
if "--exit-with-stdin" in sys.argv[4:]:
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
server.serve_forever()
