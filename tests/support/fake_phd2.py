#!/usr/bin/env python3
"""A stand-in for PHD2's event server, for the tests.

Listens on 127.0.0.1 on a free port and prints that port on the first line of standard
output. Each line received is appended to the log file as it came. --mode picks how it
behaves:
  normal   Version and AppState events on connect, then JSON-RPC answers
  refuse   as normal, but set_lock_shift_params is answered with an error object
  escape   as refuse, with an error message that holds control characters
  off      as normal, but lock shift stays off whatever set_lock_shift_enabled asks
  doubled  as normal, but holds twice the rate it is sent
  limit    as normal, and LockPositionShiftLimitReached follows the read-back of a shift on
  silent   accepts and reads, and never sends anything
  garbage  answers the first request with a line that is not JSON
  half     answers the first request with half a line, then closes
  huge     answers the first request with a line of more than 1 MiB
  stopped  as normal, but neither looping nor guiding: capture_single_frame takes a frame,
           told by a SingleFrameComplete event
  subframe as normal, but save_image names a subframe's file (PHDSUBF...)
--frame names the file save_image answers with (PHD2 writes a new one each time).
"""
import argparse
import json
import os
import socket
import threading
import time


def event(name, **fields):
    return dict({"Event": name, "Timestamp": 1765141200.0, "Host": "fake", "Inst": 1}, **fields)


def send(conn, obj):
    conn.sendall(json.dumps(obj, separators=(",", ":")).encode() + b"\r\n")


def bad_params(params):
    if not isinstance(params, list) or len(params) != 1 or not isinstance(params[0], dict):
        return "expected one object of lock shift parameters"
    p = params[0]
    rate = p.get("rate")
    if (not isinstance(rate, list) or len(rate) != 2
            or not all(isinstance(r, (int, float)) and not isinstance(r, bool) for r in rate)):
        return "expected rate [X, Y]"
    if p.get("units") not in ("pixels/hr", "arcsec/hr"):
        return "expected units pixels/hr or arcsec/hr"
    if p.get("axes") not in ("X/Y", "RA/Dec"):
        return "expected axes X/Y or RA/Dec"
    return None


class Server:
    def __init__(self, mode, log, frame=None):
        self.mode = mode
        self.log = log
        self.frame = frame
        self.lock = threading.Lock()
        self.held = {"enabled": False, "rate": [0.0, 0.0], "units": "pixels/hr", "axes": "X/Y"}

    def record(self, line):
        with self.lock, open(self.log, "ab") as f:
            f.write(line + b"\n")

    def answer(self, conn, request):
        method = request.get("method")
        params = request.get("params")
        rid = request.get("id")
        result = 0
        error = None
        if method == "set_lock_shift_params":
            error = bad_params(params)
            if self.mode == "refuse":
                error = "lock shift is not allowed now"
            if self.mode == "escape":
                error = "not now\x1b[2J\nreally"
            if error is None:
                self.held.update(params[0])
                if self.mode == "doubled":
                    self.held["rate"] = [r * 2 for r in self.held["rate"]]
        elif method == "set_lock_shift_enabled":
            if (not isinstance(params, list) or len(params) != 1
                    or not isinstance(params[0], bool)):
                error = "expected enable param"
            elif self.mode != "off":
                self.held["enabled"] = params[0]
        elif method == "get_lock_shift_params":
            result = dict(self.held)
        elif method == "get_app_state":
            result = "Stopped" if self.mode == "stopped" else "Guiding"
        elif method == "capture_single_frame":
            if self.mode != "stopped":
                error = "cannot capture single frame when capture is currently active"
            else:
                send(conn, {"jsonrpc": "2.0", "result": 0, "id": rid})
                time.sleep(0.2)
                send(conn, event("SingleFrameComplete", Success=True, Path=self.frame))
                return
        elif method == "get_calibration_data":
            # Calibrated on a frame whose +Y lies at position angle 290, not mirrored: a move
            # east shifts the stars west, to -70 + 180 degrees on the frame; a move north
            # shifts them south, to 20 + 180.
            result = {"calibrated": True, "xAngle": 110.0, "xRate": 5.1, "xParity": "+",
                      "yAngle": -160.0, "yRate": 5.0, "yParity": "+", "declination": 30.0}
        elif method == "save_image":
            if self.frame is None:
                error = "no image available"
            elif self.mode == "subframe":
                result = {"filename": os.path.join(os.path.dirname(self.frame),
                                                   "PHDSUBF_123.fits")}
            else:
                result = {"filename": self.frame}
        else:
            send(conn, {"jsonrpc": "2.0", "error": {"code": -32601, "message": "method not found"},
                        "id": rid})
            return
        if error is not None:
            send(conn, {"jsonrpc": "2.0", "error": {"code": 1, "message": error}, "id": rid})
            return
        send(conn, {"jsonrpc": "2.0", "result": result, "id": rid})
        # Once the exchange is over, as PHD2 does when the lock point reaches the frame's edge.
        if self.mode == "limit" and method == "get_lock_shift_params" and self.held["enabled"]:
            send(conn, event("LockPositionShiftLimitReached"))

    def serve(self, conn):
        with conn:
            if self.mode != "silent":
                send(conn, event("Version", PHDVersion="2.6.13", PHDSubver="", MsgVersion=1,
                                 OverlapSupport=True))
                send(conn, event("AppState",
                                 State="Stopped" if self.mode == "stopped" else "Guiding"))
            buffer = b""
            while True:
                data = conn.recv(65536)
                if not data:
                    return
                buffer += data
                while b"\n" in buffer:
                    line, buffer = buffer.split(b"\n", 1)
                    line = line.rstrip(b"\r")
                    self.record(line)
                    if self.mode == "silent":
                        continue
                    if self.mode == "garbage":
                        conn.sendall(b"<html>not json</html>\r\n")
                        continue
                    if self.mode == "half":
                        conn.sendall(b'{"jsonrpc":"2.0","res')
                        return
                    if self.mode == "huge":
                        conn.sendall(b'{"jsonrpc":"2.0","result":"' + b"x" * (1024 * 1024 + 16)
                                     + b'","id":1}\r\n')
                        continue
                    try:
                        request = json.loads(line)
                    except ValueError:
                        send(conn, {"jsonrpc": "2.0",
                                    "error": {"code": -32700, "message": "parse error"},
                                    "id": None})
                        continue
                    self.answer(conn, request)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", default="normal")
    parser.add_argument("--log", required=True)
    parser.add_argument("--frame")
    args = parser.parse_args()
    server = Server(args.mode, args.log, args.frame)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=server.serve, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
