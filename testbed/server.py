"""Stand-in of the endpoint-security console that receives the installation
notification, also usable as the HTTP proxy in front of it.

    with ConsoleServer() as server:             # 127.0.0.1, a free port
        ... client's "Server" = "127.0.0.1", "ServerPort" = server.port ...
        server.requests[0].request_line          # "GET /path?query HTTP/1.0"

Every request is recorded as it arrived (request line, headers in their
order). The answer is `status` with `body`; with `credentials` set, a request
without the matching Basic "Authorization" (or, with proxy=True,
"Proxy-Authorization") header gets 401 (407) instead.

As a program it serves until it is terminated and appends each request as
one JSON line ({"request_line": ..., "headers": [[name, value], ...]}) to
a log file, after a first line {"listening": PORT}:

    server.py --port 8080 --log FILE [--host 127.0.0.1] [--status 200]
"""

from __future__ import annotations

import argparse
import base64
import http.server
import json
import sys
import threading
from dataclasses import dataclass


@dataclass
class Request:
    request_line: str
    method: str
    target: str
    version: str
    headers: list  # (name, value) in arrival order

    def header(self, name: str) -> str | None:
        for k, v in self.headers:
            if k.lower() == name.lower():
                return v
        return None


class ConsoleServer:
    def __init__(self, status: int = 200, body: bytes = b"OK", credentials=None,
                 proxy: bool = False, host: str = "127.0.0.1", port: int = 0, on_request=None):
        self.status, self.body, self.credentials, self.proxy = status, body, credentials, proxy
        self.on_request = on_request  # called with each Request as it is recorded
        self.requests: list[Request] = []
        self._lock = threading.Lock()
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.0"

            def do_GET(self):
                outer._record(self)
                status = outer._status_for(self)
                self.send_response(status)
                if status == 401:
                    self.send_header("WWW-Authenticate", 'Basic realm="console"')
                elif status == 407:
                    self.send_header("Proxy-Authenticate", 'Basic realm="proxy"')
                self.send_header("Content-Type", "text/plain")
                self.send_header("Content-Length", str(len(outer.body)))
                self.end_headers()
                self.wfile.write(outer.body)

            def log_message(self, *args):
                pass

        self._httpd = http.server.ThreadingHTTPServer((host, port), Handler)
        self.port = self._httpd.server_address[1]
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)

    def _record(self, h):
        method, target, version = (h.requestline.split(" ") + ["", "", ""])[:3]
        request = Request(h.requestline, method, target, version, list(h.headers.items()))
        with self._lock:
            self.requests.append(request)
            if self.on_request:
                self.on_request(request)

    def _status_for(self, h) -> int:
        if not self.credentials:
            return self.status
        user, password = self.credentials
        expected = "Basic " + base64.b64encode(f"{user}:{password}".encode("latin-1")).decode()
        header = "Proxy-Authorization" if self.proxy else "Authorization"
        if h.headers.get(header) != expected:
            return 407 if self.proxy else 401
        return self.status

    def __enter__(self) -> "ConsoleServer":
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._httpd.shutdown()
        self._httpd.server_close()
        self._thread.join(timeout=10)


def main(argv) -> int:
    parser = argparse.ArgumentParser(description="Console stand-in that logs each request.")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--status", type=int, default=200)
    parser.add_argument("--log", required=True)
    args = parser.parse_args(argv[1:])
    with open(args.log, "a", encoding="latin-1") as log:
        def write(record):
            log.write(json.dumps(record) + "\n")
            log.flush()

        server = ConsoleServer(status=args.status, host=args.host, port=args.port,
                               on_request=lambda r: write({"request_line": r.request_line,
                                                           "headers": r.headers}))
        write({"listening": server.port})
        server._httpd.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
