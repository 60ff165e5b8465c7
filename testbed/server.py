"""Stand-in of the endpoint-security console that receives the installation
notification, also usable as the HTTP proxy in front of it.

    with ConsoleServer() as server:             # 127.0.0.1, a free port
        ... client's "Server" = "127.0.0.1", "ServerPort" = server.port ...
        server.requests[0].request_line          # "GET /path?query HTTP/1.0"

Every request is recorded as it arrived (request line, headers in their
order). What it answers, first match wins:

1. `answers`: a script, one Answer per request in arrival order
   (Answer(401), Answer(200, b"ok"), ...); a 401 (407) carries a Basic
   challenge for the server (the proxy).
2. A path that says what it wants, for callers that cannot script a running
   server (the contract tests inside Wine); a request through the proxy is
   read by the path of its absolute URI:
     /status/NNN[?body=TEXT]   status NNN with TEXT as body
     /auth/USER/PASSWORD       200 with a Basic "Authorization" for USER:PASSWORD,
                               401 with a challenge otherwise
     /proxyauth/USER/PASSWORD  the same with "Proxy-Authorization" and 407
   and the hostile answers a console must never be trusted to avoid:
     /hostile/garbage              no status line: bytes that are not HTTP, then close
     /hostile/headers/N            200 with N extra header lines, body "ok"
     /hostile/redirect/NNN?to=URL  status NNN with "Location: URL"
     /hostile/cut/LENGTH[?body=T]  200 announcing LENGTH bytes, T sent, then close
     /hostile/trickle/N/MS[?body=T&length=L]  200 with T sent in N pieces, MS ms
                                   apart (announcing L bytes when given)
3. `status` with `body`; with `credentials` set, a request without the
   matching Basic "Authorization" (or, with proxy=True,
   "Proxy-Authorization") header gets 401 (407) instead.

A 204 answer has neither body nor Content-Length.

From a shell (the Wine contract run), until SIGTERM or the end of its
lifetime (600 s unless told):

    python3 server.py --port-file F [--log F] [--closed-port-file F] [--lifetime S]

writes its port to F, appends each request to the log (request line, header
lines, an empty line) and writes to --closed-port-file a port on which
nothing listens. On a fixed address instead (a machine of the life cycle,
inside its own network namespace), logging JSON lines, a first one
{"listening": PORT} and then {"request_line": ..., "headers": [[name, value]]}
per request:

    python3 server.py --host 127.0.0.1 --port 8080 --json-log F [--status 200]
"""

from __future__ import annotations

import argparse
import base64
import http.server
import json
import os
import signal
import socket
import sys
import threading
import time
import urllib.parse
from dataclasses import dataclass, field


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

    @property
    def path(self) -> str:
        """The target's path and query, also when it is an absolute URI."""
        parts = urllib.parse.urlsplit(self.target)
        if parts.scheme:
            return parts.path + ("?" + parts.query if parts.query else "")
        return self.target


@dataclass
class Answer:
    status: int = 200
    body: bytes = b""
    headers: list = field(default_factory=list)  # extra (name, value) pairs
    raw: bytes | None = None  # sent as they are instead of an HTTP answer, then close
    length: int | None = None  # Content-Length announced (default: the body's)
    pieces: int = 1  # the body in this many pieces ...
    pause: float = 0.0  # ... this many seconds apart
    delay: float = 0.0  # seconds to hold the answer back (a slow console)


def hostile_answer(path: urllib.parse.SplitResult) -> Answer | None:
    """The answer a /hostile/... path asks for; None for any other path."""
    parts = path.path.split("/")
    if len(parts) < 3 or parts[1] != "hostile":
        return None
    query = urllib.parse.parse_qs(path.query)
    body = query.get("body", [""])[0].encode("latin-1")
    mode, args = parts[2], parts[3:]
    if mode == "garbage":
        return Answer(raw=b"THIS IS NOT HTTP\r\n\r\n\x00\xff garbage")
    if mode == "headers" and len(args) == 1 and args[0].isdigit():
        return Answer(200, b"ok", [(f"X-Filler-{i}", "f" * 16) for i in range(int(args[0]))])
    if mode == "redirect" and len(args) == 1 and args[0].isdigit():
        return Answer(int(args[0]), b"moved", [("Location", query.get("to", [""])[0])])
    if mode == "cut" and len(args) == 1 and args[0].isdigit():
        return Answer(200, body, length=int(args[0]))
    if mode == "trickle" and len(args) == 2 and args[0].isdigit() and args[1].isdigit():
        length = query.get("length", [""])[0]
        return Answer(200, body, pieces=max(1, int(args[0])), pause=int(args[1]) / 1000,
                      length=int(length) if length.isdigit() else None)
    return None


def basic(user: str, password: str) -> str:
    return "Basic " + base64.b64encode(f"{user}:{password}".encode("latin-1")).decode()


class ConsoleServer:
    def __init__(self, status: int = 200, body: bytes = b"OK", credentials=None,
                 proxy: bool = False, answers=None, log_path: str | None = None,
                 host: str = "127.0.0.1", port: int = 0, on_request=None):
        self.status, self.body, self.credentials, self.proxy = status, body, credentials, proxy
        self.answers: list[Answer] = list(answers or [])
        self.on_request = on_request  # called with each Request as it is recorded
        self.requests: list[Request] = []
        self._log_path = log_path
        self._lock = threading.Lock()
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.0"

            def do_GET(self):
                try:
                    self._answer(outer._answer_for(outer._record(self)))
                except (BrokenPipeError, ConnectionResetError):
                    pass  # the client went away (a test killed it, say)

            def _answer(self, answer):
                if answer.delay:
                    time.sleep(answer.delay)
                if answer.raw is not None:
                    self.wfile.write(answer.raw)
                    self.close_connection = True
                    return
                self.send_response(answer.status)
                if answer.status == 401:
                    self.send_header("WWW-Authenticate", 'Basic realm="console"')
                elif answer.status == 407:
                    self.send_header("Proxy-Authenticate", 'Basic realm="proxy"')
                for name, value in answer.headers:
                    self.send_header(name, value)
                if answer.status == 204:
                    self.end_headers()
                    return
                self.send_header("Content-Type", "text/plain")
                length = len(answer.body) if answer.length is None else answer.length
                self.send_header("Content-Length", str(length))
                self.end_headers()
                self._send_body(answer)
                # Fewer bytes than announced: the connection ends there.
                self.close_connection = True

            def _send_body(self, answer: Answer):
                body, n = answer.body, answer.pieces
                size = -(-len(body) // n) if body else 0
                for i in range(n):
                    if i and answer.pause:
                        self.wfile.flush()
                        time.sleep(answer.pause)
                    self.wfile.write(body[i * size:(i + 1) * size])

            def log_message(self, *args):
                pass

        self._httpd = http.server.ThreadingHTTPServer((host, port), Handler)
        self.port = self._httpd.server_address[1]
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)

    def _record(self, h) -> Request:
        method, target, version = (h.requestline.split(" ") + ["", "", ""])[:3]
        request = Request(h.requestline, method, target, version, list(h.headers.items()))
        with self._lock:
            self.requests.append(request)
            if self._log_path:
                with open(self._log_path, "a", encoding="latin-1", newline="") as log:
                    log.write(request.request_line + "\n")
                    log.writelines(f"{k}: {v}\n" for k, v in request.headers)
                    log.write("\n")
            if self.on_request:
                self.on_request(request)
        return request

    def _answer_for(self, request: Request) -> Answer:
        with self._lock:
            if self.answers:
                return self.answers.pop(0)
        path = urllib.parse.urlsplit(request.path)
        hostile = hostile_answer(path)
        if hostile:
            return hostile
        parts = path.path.split("/")
        if len(parts) >= 3 and parts[1] == "status" and parts[2].isdigit():
            body = urllib.parse.parse_qs(path.query).get("body", [""])[0].encode("latin-1")
            return Answer(int(parts[2]), body)
        if len(parts) == 4 and parts[1] in ("auth", "proxyauth"):
            proxy = parts[1] == "proxyauth"
            header = "Proxy-Authorization" if proxy else "Authorization"
            if request.header(header) == basic(parts[2], parts[3]):
                return Answer(200, b"welcome")
            return Answer(407 if proxy else 401, b"credentials needed")
        if self.credentials:
            header = "Proxy-Authorization" if self.proxy else "Authorization"
            if request.header(header) != basic(*self.credentials):
                return Answer(407 if self.proxy else 401, self.body)
        return Answer(self.status, self.body)

    def __enter__(self) -> "ConsoleServer":
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._httpd.shutdown()
        self._httpd.server_close()
        self._thread.join(timeout=10)


def closed_port() -> int:
    """A port on 127.0.0.1 on which nothing listens (bound, then let go)."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--log")
    parser.add_argument("--json-log")
    parser.add_argument("--status", type=int, default=200)
    parser.add_argument("--closed-port-file")
    parser.add_argument("--lifetime", type=float, default=600.0)
    args = parser.parse_args(argv)
    if not args.port_file and not args.json_log:
        parser.error("say where the port goes: --port-file or --json-log")

    json_log = open(args.json_log, "a", encoding="latin-1") if args.json_log else None

    def write(record):
        json_log.write(json.dumps(record) + "\n")
        json_log.flush()

    on_request = None
    if json_log:
        def on_request(r):
            write({"request_line": r.request_line, "headers": r.headers})

    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    try:
        with ConsoleServer(status=args.status, log_path=args.log, host=args.host,
                           port=args.port, on_request=on_request) as server:
            if args.closed_port_file:
                with open(args.closed_port_file, "w") as f:
                    f.write(f"{closed_port()}\n")
            if args.port_file:
                tmp = args.port_file + ".tmp"
                with open(tmp, "w") as f:
                    f.write(f"{server.port}\n")
                os.replace(tmp, args.port_file)
            if json_log:
                write({"listening": server.port})
            done.wait(args.lifetime)
    finally:
        if json_log:
            json_log.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
