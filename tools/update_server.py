#!/usr/bin/env python3
"""A local update server for the tests and the demo.

Serves one folder over http and, given certificates, over https on 127.0.0.1, each on a free
port, and writes the ports as shell assignments into --port-file once every listener is up.
It stops by itself after --max-seconds or --max-requests, whichever comes first.

Normal paths serve the file below the root exactly (names may hold spaces, escaped or not).
A path that starts with /_fault/<faults>/ serves the rest of the path misbehaving as told;
<faults> is a comma-separated list of:

  status=N    answer with status N and a small error page (Content-Length set)
  chunked     send the body chunked, without Content-Length
  length=N    announce Content-Length N whatever the body is
  cut=N       announce the whole length, send N bytes, then close cleanly (no TLS close_notify);
              with chunked, the answer ends without its final chunk
  reset=N     announce the whole length, send N bytes, then reset the connection
  slow=MS     pause MS milliseconds before each 8 KiB piece of the body: with a pause longer
              than the client waits, the headers and then silence
  piece=N     with slow, pieces of N bytes instead
  close       end the connection after the answer (no keep-alive for the next request)
  mute=MS     take the request and send nothing at all, not even a status line, for MS
              milliseconds; then close the connection

The programs under test ask for fixed paths, so a published file can also carry its faults
beside it: "<file>.faults" holds one <faults> list per line, and each request for the file
takes the next line (an empty line means no fault); once the lines are used up the file is
served normally.

The https listeners differ only in their certificate: "https" (the trusted one for the host
name the clients use), "https_mismatch" (trusted, for another host name),
"https_untrusted" (from an authority nobody trusts) and "https_expired" (trusted, for the
right name, but long expired). Each serves its leaf certificate only.
"""

import argparse
import http.server
import os
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse

PIECE = 8192
LARGE_PIECE = 1 << 20
MAX_MUTE_MS = 120000
FAULT_PREFIX = "/_fault/"
FAULT_QUEUE_SUFFIX = ".faults"
# Every listener takes from the same queue files.
fault_queue_lock = threading.Lock()


class Limits:
    """The request budget shared by every listener; spending the last one stops them all."""

    def __init__(self, max_requests, stop):
        self.left = max_requests
        self.lock = threading.Lock()
        self.stop = stop

    def spend(self):
        with self.lock:
            self.left -= 1
            exhausted = self.left == 0
        if exhausted:
            threading.Thread(target=self.stop, daemon=True).start()


def parse_faults(text):
    faults = {}
    for item in filter(None, text.split(",")):
        key, _, value = item.partition("=")
        faults[key] = int(value) if value else True
    return faults


def split_fault_path(raw_path):
    """(faults, path) for a request path; the faults are empty for a normal path."""
    path = urllib.parse.unquote(raw_path.split("?", 1)[0])
    if not path.startswith(FAULT_PREFIX):
        return {}, path
    rest = path[len(FAULT_PREFIX):]
    faults_text, _, file_path = rest.partition("/")
    return parse_faults(faults_text), "/" + file_path


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VelmoraUpdateServer/1"

    def parse_request(self):
        # Clients that send a file name with raw spaces still mean one path.
        words = self.raw_requestline.decode("iso-8859-1").rstrip("\r\n").split(" ")
        if len(words) > 3 and words[-1].startswith("HTTP/"):
            joined = " ".join([words[0], "%20".join(words[1:-1]), words[-1]]) + "\r\n"
            self.raw_requestline = joined.encode("iso-8859-1")
        return super().parse_request()

    def log_message(self, format, *args):
        sys.stderr.write("%s %s\n" % (self.server.name, format % args))

    def do_GET(self):
        self.answer(send_body=True)

    def do_HEAD(self):
        self.answer(send_body=False)

    def answer(self, send_body):
        self.server.limits.spend()
        faults, path = split_fault_path(self.path)
        if not faults:
            faults = self.server.take_queued_faults(self.local_path(path, must_exist=False))
        if "mute" in faults:
            self.stay_mute(faults["mute"])
            return
        if "status" in faults:
            body = ("<html><body>error %d</body></html>" % faults["status"]).encode()
            self.send_whole(faults["status"], body, send_body)
            return
        local = self.local_path(path)
        if local is None:
            self.send_whole(404, b"<html><body>not found</body></html>", send_body)
            return
        with open(local, "rb") as f:
            self.send_file(f, os.path.getsize(local), faults, send_body)

    def stay_mute(self, ms):
        # Bounded like every other answer: the connection ends after the pause, unanswered.
        time.sleep(min(ms, MAX_MUTE_MS) / 1000.0)
        self.close_connection = True

    def local_path(self, path, must_exist=True):
        root = os.path.realpath(self.server.root)
        local = os.path.realpath(os.path.join(root, path.lstrip("/")))
        if os.path.commonpath([root, local]) != root:
            return None
        if must_exist and not os.path.isfile(local):
            return None
        return local

    def send_whole(self, status, body, send_body):
        self.send_response(status)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if send_body:
            self.wfile.write(body)

    def send_file(self, f, size, faults, send_body):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if "chunked" in faults:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(faults.get("length", size)))
        if any(key in faults for key in ("cut", "reset", "length", "close")):
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if not send_body:
            return
        limit = size
        for key in ("cut", "reset"):
            if key in faults:
                limit = min(limit, faults[key])
        self.send_body(f, limit, faults)
        if "reset" in faults:
            self.reset_connection()

    def send_body(self, f, limit, faults):
        delay = faults.get("slow", 0) / 1000.0
        # Small pieces only where their pace matters.
        piece_size = max(1, faults.get("piece", PIECE)) if delay else LARGE_PIECE
        left = limit
        while left > 0:
            if delay:
                time.sleep(delay)
            piece = f.read(min(piece_size, left))
            if not piece:
                break
            left -= len(piece)
            if "chunked" in faults:
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            else:
                self.wfile.write(piece)
            self.wfile.flush()
        if "chunked" in faults and "cut" not in faults:
            self.wfile.write(b"0\r\n\r\n")
        self.wfile.flush()

    def reset_connection(self):
        # Without lingering the close sends a reset instead of the orderly end.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.server.resets.add(self.connection.fileno())


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, name, root, limits, context=None):
        super().__init__(("127.0.0.1", 0), Handler)
        self.name = name
        self.root = root
        self.limits = limits
        self.resets = set()
        if context is not None:
            # The handshake runs in the request's thread, so a stalled client blocks no one.
            self.socket = context.wrap_socket(self.socket, server_side=True,
                                              do_handshake_on_connect=False)

    def take_queued_faults(self, local):
        """The next line of the faults queued beside a published file, parsed."""
        if local is None:
            return {}
        queue = local + FAULT_QUEUE_SUFFIX
        with fault_queue_lock:
            if not os.path.isfile(queue):
                return {}
            with open(queue) as f:
                lines = f.read().splitlines()
            if not lines:
                return {}
            with open(queue, "w") as f:
                f.write("".join(line + "\n" for line in lines[1:]))
        return parse_faults(lines[0].strip())

    def shutdown_request(self, request):
        # The orderly end of a connection (which over TLS sends no close_notify either) unless
        # the handler asked for a reset.
        try:
            reset = request.fileno() in self.resets
            self.resets.discard(request.fileno())
        except OSError:
            reset = False
        if reset:
            self.close_request(request)
        else:
            super().shutdown_request(request)

    def handle_error(self, request, client_address):
        # Clients that refuse a certificate or hang up early are part of the tests.
        sys.stderr.write("%s: connection from %s ended: %s\n"
                         % (self.name, client_address, sys.exc_info()[1]))


def tls_context(cert_dir, name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(cert_dir, name + ".pem"),
                            os.path.join(cert_dir, name + ".key"))
    return context


def write_ports(path, servers):
    text = "".join("%s_PORT=%d\n" % (s.name.upper(), s.server_address[1]) for s in servers)
    temp = path + ".tmp"
    with open(temp, "w") as f:
        f.write(text)
    os.replace(temp, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--root", required=True, help="folder to serve")
    parser.add_argument("--port-file", required=True, help="where the ports are written")
    parser.add_argument("--cert-dir", help="certificates for the https listeners")
    parser.add_argument("--max-seconds", type=float, default=300)
    parser.add_argument("--max-requests", type=int, default=1000)
    args = parser.parse_args()

    servers = []
    stopping = threading.Event()

    def stop():
        if stopping.is_set():
            return
        stopping.set()
        for s in servers:
            s.shutdown()

    limits = Limits(args.max_requests, stop)
    servers.append(Server("http", args.root, limits))
    if args.cert_dir:
        for name, cert in (("https", "server"), ("https_mismatch", "mismatch"),
                           ("https_untrusted", "untrusted"), ("https_expired", "expired")):
            servers.append(Server(name, args.root, limits, tls_context(args.cert_dir, cert)))

    threads = [threading.Thread(target=s.serve_forever, daemon=True) for s in servers]
    for t in threads:
        t.start()
    write_ports(args.port_file, servers)
    timer = threading.Timer(args.max_seconds, stop)
    timer.daemon = True
    timer.start()
    for t in threads:
        t.join()
    timer.cancel()
    for s in servers:
        s.server_close()


if __name__ == "__main__":
    main()
