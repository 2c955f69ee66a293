#!/usr/bin/env python3
"""Serves a folder over plain HTTP on 127.0.0.1 with byte ranges, single and multiple
(multipart/byteranges, which zsync asks for), paced to a rate like kestryn-test-server's --rate.
Prints "port=N" once listening; after every answer, writes the bytes sent so far (status lines,
headers and bodies) into COUNT_FILE. Usage: range_http_server.py FOLDER RATE COUNT_FILE"""
import http.server
import os
import re
import sys
import threading
import time

folder, rate, count_file = sys.argv[1], int(sys.argv[2]), sys.argv[3]
lock = threading.Lock()
sent = 0
RANGE = re.compile(r"(\d*)-(\d*)")


class PacedWriter:
    """The socket's writer, counting every byte and sending no faster than the rate."""

    def __init__(self, raw):
        self.raw = raw
        self.due = time.monotonic()

    def write(self, data):
        global sent
        for offset in range(0, len(data), 65536):
            piece = data[offset : offset + 65536]
            self.raw.write(piece)
            with lock:
                sent += len(piece)
            # Idle time earns no credit: a pause never lets a later answer burst.
            self.due = max(self.due, time.monotonic()) + len(piece) / rate
            time.sleep(max(0.0, self.due - time.monotonic()))

    def flush(self):
        self.raw.flush()


def ranges(header, size):
    """The satisfiable (first, last) pairs of a Range header, or None when it is not one."""
    if not header.startswith("bytes="):
        return None
    pairs = []
    for asked in header[len("bytes=") :].split(","):
        match = RANGE.fullmatch(asked.strip())
        if not match or match.group(1) == match.group(2) == "":
            return None
        if match.group(1) == "":
            first, last = max(0, size - int(match.group(2))), size - 1
        else:
            first = int(match.group(1))
            last = min(int(match.group(2)), size - 1) if match.group(2) else size - 1
        if first <= last:
            pairs.append((first, last))
    return pairs


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def setup(self):
        super().setup()
        self.wfile = PacedWriter(self.wfile)

    def log_message(self, *arguments):
        pass

    def do_HEAD(self):
        self.answer(body=False)

    def do_GET(self):
        self.answer(body=True)

    def answer(self, body):
        path = os.path.join(folder, self.path.split("?")[0].lstrip("/"))
        if not os.path.isfile(path):
            self.send_error(404)
            return self.counted()
        size = os.path.getsize(path)
        wanted = ranges(self.headers.get("Range", ""), size) if "Range" in self.headers else None
        with open(path, "rb") as file:
            if wanted is None:
                self.head(200, {"Content-Length": size})
                if body:
                    self.copy(file, 0, size)
            elif not wanted:
                self.head(416, {"Content-Range": f"bytes */{size}", "Content-Length": 0})
            elif len(wanted) == 1:
                first, last = wanted[0]
                self.head(206, {"Content-Range": f"bytes {first}-{last}/{size}",
                                "Content-Length": last - first + 1})
                if body:
                    self.copy(file, first, last - first + 1)
            else:
                boundary = "kestrynbenchboundary"
                parts = [(f"\r\n--{boundary}\r\nContent-Type: application/octet-stream\r\n"
                          f"Content-Range: bytes {first}-{last}/{size}\r\n\r\n").encode()
                         for first, last in wanted]
                closing = f"\r\n--{boundary}--\r\n".encode()
                length = sum(len(part) for part in parts) + len(closing) + sum(
                    last - first + 1 for first, last in wanted)
                self.head(206, {"Content-Type": f"multipart/byteranges; boundary={boundary}",
                                "Content-Length": length})
                if body:
                    for part, (first, last) in zip(parts, wanted):
                        self.wfile.write(part)
                        self.copy(file, first, last - first + 1)
                    self.wfile.write(closing)
        self.counted()

    def head(self, status, headers):
        self.send_response(status)
        self.send_header("Accept-Ranges", "bytes")
        for name, value in headers.items():
            self.send_header(name, str(value))
        self.end_headers()

    def copy(self, file, offset, length):
        file.seek(offset)
        while length > 0:
            piece = file.read(min(length, 1 << 20))
            self.wfile.write(piece)
            length -= len(piece)

    def counted(self):
        self.wfile.flush()
        with lock:
            with open(count_file + ".partial", "w") as out:
                out.write(f"{sent}\n")
            os.replace(count_file + ".partial", count_file)


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(f"port={server.server_address[1]}", flush=True)
server.serve_forever()
