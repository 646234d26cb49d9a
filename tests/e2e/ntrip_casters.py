"""Casters for the corrections tests: RTCM 3 frames made here, Debian's
rtklib str2str as a real version 1 caster, and a small version 2 caster
that sends its data chunked, with chunk edges anywhere in the frames.

Each caster keeps what it sent to its clients once armed, and what the
clients sent back (their GGA lines)."""
import base64
import os
import random
import socket
import subprocess
import threading
import time

# The table's STR line after its mountpoint: identifier, format, details ...
STR_FIELDS = "TEST;RTCM 3.3;1005(10),1077(1),1087(1),1230(5);2;GPS+GLO;NONE;DEU;50.09;8.66;0;0;str2str;none;B;N;2400;test"


def crc24q(data):
    crc = 0
    for byte in data:
        crc ^= byte << 16
        for _ in range(8):
            crc <<= 1
            if crc & 0x1000000:
                crc ^= 0x1864CFB
    return crc & 0xFFFFFF


def frame(message_type, payload_bytes, station=0):
    """A whole RTCM 3 frame of `message_type`: the type, the station id
    where the type carries one first, then filler."""
    body = bytes([message_type >> 4, ((message_type & 15) << 4) | (station >> 8), station & 0xFF])
    body += bytes((i * 29 + message_type) & 0xFF for i in range(payload_bytes))
    head = bytes([0xD3, len(body) >> 8, len(body) & 0xFF]) + body
    crc = crc24q(head)
    return head + bytes([crc >> 16, (crc >> 8) & 0xFF, crc & 0xFF])


def epoch_frames(second):
    """One second of a base's corrections: its position every 10 s, MSM7
    of two systems and the GLONASS biases every 5 s."""
    frames = []
    if second % 10 == 0:
        frames.append(frame(1005, 16, station=2))
    frames += [frame(1077, 300, station=2), frame(1087, 220, station=2)]
    if second % 5 == 0:
        frames.append(frame(1230, 6, station=2))
    return frames


class Sent:
    """What a caster sent its clients while armed, and what they sent it."""

    def __init__(self):
        self.lock = threading.Lock()
        self.armed = False
        self.frames = 0
        self.frame_bytes = 0
        self.garbage = 0
        self.lines = []  # (time, line) from the clients

    def take_lines(self, pending):
        """The whole lines of `pending` kept; answers what is left of it."""
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            with self.lock:
                self.lines.append((time.monotonic(), line.rstrip(b"\r")))
        return pending

    def count(self, frames, garbage):
        with self.lock:
            if self.armed:
                self.frames += len(frames)
                self.frame_bytes += sum(len(f) for f in frames)
                self.garbage += garbage


def garbled(frames, second):
    """The second's frames with hostile bytes among them, every third second."""
    if second % 3 != 1:
        return b"".join(frames), 0
    bad = bytearray(frames[0])
    bad[8] ^= 0x20
    junk = [b"\xd3\x00\x05junk", bytes(bad), b"hello\r\n"]
    out = b""
    for i, f in enumerate(frames):
        out += junk[i % len(junk)] + f
    return out, sum(len(junk[i % len(junk)]) for i in range(len(frames)))


class Str2strCaster:
    """str2str as an NTRIP 1.0 caster on `port`, fed once a second over a
    TCP server of its own on `feed_port`, which also hands back what its
    clients send."""

    def __init__(self, port, feed_port, user="user", password="pass", garble=False):
        self.port, self.feed_port = port, feed_port
        self.user, self.password, self.garble = user, password, garble
        self.sent = Sent()
        self.process = None
        self.stop = threading.Event()
        self.thread = None

    def start(self):
        out = "ntripc://%s:%s@:%d/TEST:%s" % (self.user, self.password, self.port, STR_FIELDS)
        self.process = subprocess.Popen(["str2str", "-in", "tcpsvr://:%d" % self.feed_port, "-out", out, "-b", "1"],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.stop.clear()
        self.thread = threading.Thread(target=self._feed, daemon=True)
        self.thread.start()

    def _feed(self):
        deadline = time.monotonic() + 10
        feeder = None
        while feeder is None and time.monotonic() < deadline and not self.stop.is_set():
            try:
                feeder = socket.create_connection(("127.0.0.1", self.feed_port), timeout=1)
            except OSError:
                time.sleep(0.1)
        if feeder is None:
            return
        feeder.settimeout(0.1)
        pending, second, due = b"", 0, time.monotonic()
        with feeder:
            while not self.stop.is_set():
                # Nothing is fed before the client's first GGA: then every
                # frame fed reaches it, and can be counted.
                if self.sent.lines and not self.sent.armed:
                    self.sent.armed = True
                    due = time.monotonic()
                if self.sent.armed and time.monotonic() >= due:
                    frames = epoch_frames(second)
                    data, garbage = garbled(frames, second) if self.garble else (b"".join(frames), 0)
                    try:
                        feeder.sendall(data)
                    except OSError:
                        return
                    self.sent.count(frames, garbage)
                    second, due = second + 1, due + 1
                try:
                    got = feeder.recv(4096)
                except socket.timeout:
                    continue
                except OSError:
                    return
                if not got:
                    return
                pending = self.sent.take_lines(pending + got)

    def close(self):
        self.stop.set()
        if self.process is not None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            self.process = None
        if self.thread is not None:
            self.thread.join(timeout=5)


class ChunkedCaster:
    """A version 2 caster: HTTP/1.1 200 with gnss/data sent chunked, each
    second's frames cut into chunks of random sizes; 401 for a wrong login,
    its table for a wrong mountpoint."""

    def __init__(self, port, mountpoint="CHUNK", user="user", password="pass"):
        self.mountpoint = mountpoint
        self.login = base64.b64encode(("%s:%s" % (user, password)).encode()).decode()
        self.sent = Sent()
        self.requests = []
        self.listener = socket.create_server(("127.0.0.1", port))
        self.listener.settimeout(0.2)
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while not self.stop.is_set():
            try:
                client, _ = self.listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            threading.Thread(target=self._client, args=(client,), daemon=True).start()

    def _client(self, client):
        rng = random.Random(7)
        with client:
            client.settimeout(5)
            request = b""
            while b"\r\n\r\n" not in request:
                got = client.recv(4096)
                if not got:
                    return
                request += got
            head, rest = request.split(b"\r\n\r\n", 1)
            self.requests.append(head.decode(errors="replace"))
            lines = head.decode(errors="replace").split("\r\n")
            if "Authorization: Basic " + self.login not in lines:
                client.sendall(b"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\n\r\n")
                return
            if not lines[0].startswith("GET /%s " % self.mountpoint):
                table = ("STR;%s;%s\r\nENDSOURCETABLE\r\n" % (self.mountpoint, STR_FIELDS)).encode()
                client.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: gnss/sourcetable\r\nContent-Length: %d\r\n\r\n"
                               % len(table) + table)
                return
            client.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: gnss/data\r\nTransfer-Encoding: chunked\r\n\r\n")
            client.settimeout(0.1)
            self.sent.armed = True
            pending, second, due = rest, 0, time.monotonic()
            while not self.stop.is_set():
                if time.monotonic() >= due:
                    frames = epoch_frames(second)
                    data = b"".join(frames)
                    at = 0
                    while at < len(data):
                        size = rng.randint(1, 200)
                        piece = data[at:at + size]
                        client.sendall(b"%x%s\r\n" % (len(piece), b";e=1" if size % 2 else b"") + piece + b"\r\n")
                        at += size
                    self.sent.count(frames, 0)
                    second, due = second + 1, due + 1
                try:
                    got = client.recv(4096)
                except socket.timeout:
                    continue
                except OSError:
                    return
                if not got:
                    return
                pending = self.sent.take_lines(pending + got)

    def close(self):
        self.stop.set()
        self.listener.close()
        self.thread.join(timeout=5)
