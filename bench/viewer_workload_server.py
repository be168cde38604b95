#!/usr/bin/env python3
"""Loopback webcam server of the viewer workload.

  viewer_workload_server.py FRAMEDIR PORTFILE

/cam/N.jpg   a different picture of FRAMEDIR every second (camera N starts at frame N),
             with Last-Modified of that second and its Content-Length; HEAD and GET.
/endless     HEAD: a changing Last-Modified and no length; GET: a body that never ends.
"""
import email.utils
import glob
import http.server
import os
import socketserver
import sys
import time

FRAMES = [open(p, "rb").read() for p in sorted(glob.glob(os.path.join(sys.argv[1], "*.jpg")))]
FILLER = b"\xa5" * 65536


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, body):
        now = int(time.time())
        if self.path == "/endless":
            self.send_response(200)
            self.send_header("Content-Type", "image/jpeg")
            self.send_header("Last-Modified", email.utils.formatdate(now, usegmt=True))
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            try:
                while body:
                    self.wfile.write(FILLER)
            except OSError:
                pass
            return
        try:
            cam = int(self.path.rsplit("/", 1)[-1].split(".")[0])
        except ValueError:
            self.send_error(404)
            return
        data = FRAMES[(now + cam) % len(FRAMES)]
        self.send_response(200)
        self.send_header("Content-Type", "image/jpeg")
        self.send_header("Last-Modified", email.utils.formatdate(now, usegmt=True))
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if body:
            self.wfile.write(data)

    def do_HEAD(self):
        self.answer(False)

    def do_GET(self):
        self.answer(True)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


server = Server(("127.0.0.1", 0), Handler)
with open(sys.argv[2] + ".tmp", "w") as f:
    f.write("%d\n" % server.server_address[1])
os.rename(sys.argv[2] + ".tmp", sys.argv[2])
server.serve_forever()
