#!/usr/bin/env python3
"""A stand-in INDI server with one telescope, for the tests.

Listens on 127.0.0.1 on a free port and prints that port on the first line of standard
output. Each message received is appended to the log file as it came. The telescope
"Stand-in Mount" holds a tracking mode, rate and state as INDI's telescopes do (refusing,
while it tracks, a custom rate that turns an axis the other way), and moves its
coordinates by the rate it holds ten times a second. --mode picks how it behaves:
  normal    as above
  clamp     holds at most 0.5 arcsec/s of Dec rate, whatever it is sent
  refuse    answers a rate with an error message that spans two lines
  deep      sends elements nested 100000 deep, then waits
  attribute sends an attribute of 100 MB, then waits
  endless   sends an element's text that never ends
  doctype   sends a document type declaration with an entity
  laughs    sends the "billion laughs" entities
--side says which side of the pier it reports (east, west, both, neither); --dec-axis
applies the Dec rate to the Dec axis, whose sense flips on the West side, as INDI's
simulator and EQMod do.
"""
import argparse
import re
import socket
import threading
import time

DEVICE = "Stand-in Mount"
SIDEREAL = 15.041067


def switch_vector(tag, name, values, state="Idle"):
    one = "defSwitch" if tag == "def" else "oneSwitch"
    body = "".join(f'<{one} name="{k}">{"On" if v else "Off"}</{one}>' for k, v in values)
    return (f'<{tag}SwitchVector device="{DEVICE}" name="{name}" state="{state}">{body}'
            f'</{tag}SwitchVector>\n')


def number_vector(tag, name, values, state="Idle"):
    one = "defNumber" if tag == "def" else "oneNumber"
    body = "".join(f'<{one} name="{k}">{v!r}</{one}>' for k, v in values)
    return (f'<{tag}NumberVector device="{DEVICE}" name="{name}" state="{state}">{body}'
            f'</{tag}NumberVector>\n')


class Mount:
    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.mode = "TRACK_SIDEREAL"
        self.tracking = True
        self.rate = [SIDEREAL, 0.0]
        self.ra = 5.0
        self.dec = 20.0

    def side(self):
        return {"east": (True, False), "west": (False, True), "both": (True, True),
                "neither": (False, False)}[self.args.side]

    def properties(self, tag):
        east, west = self.side()
        return "".join([
            f'<defTextVector device="{DEVICE}" name="DRIVER_INFO"><defText '
            f'name="DRIVER_INTERFACE">5</defText></defTextVector>\n',
            switch_vector(tag, "CONNECTION", [("CONNECT", True), ("DISCONNECT", False)]),
            switch_vector(tag, "TELESCOPE_PIER_SIDE", [("PIER_WEST", west), ("PIER_EAST", east)]),
            number_vector(tag, "EQUATORIAL_EOD_COORD", [("RA", self.ra), ("DEC", self.dec)]),
            switch_vector(tag, "TELESCOPE_TRACK_MODE",
                          [(m, m == self.mode) for m in ("TRACK_SIDEREAL", "TRACK_CUSTOM")]),
            number_vector(tag, "TELESCOPE_TRACK_RATE",
                          [("TRACK_RATE_RA", self.rate[0]), ("TRACK_RATE_DE", self.rate[1])]),
            switch_vector(tag, "TELESCOPE_TRACK_STATE",
                          [("TRACK_ON", self.tracking), ("TRACK_OFF", not self.tracking)],
                          "Busy" if self.tracking else "Idle"),
        ])

    def tick(self, seconds):
        """Moves the coordinates by the rate held; True when they changed."""
        with self.lock:
            if not self.tracking or self.mode != "TRACK_CUSTOM":
                return False
            self.ra = (self.ra + (SIDEREAL - self.rate[0]) * seconds / (15 * 3600)) % 24
            sense = -1 if self.args.dec_axis and self.side() == (False, True) else 1
            self.dec += sense * self.rate[1] * seconds / 3600
            return True

    def answer(self, element):
        """What a new...Vector brings back."""
        name = re.search(r'name="([^"]*)"', element).group(1)
        values = dict(re.findall(r'<one\w+ name="([^"]*)">\s*([^<]*?)\s*</one', element))
        with self.lock:
            if name == "TELESCOPE_TRACK_MODE":
                self.mode = next(k for k, v in values.items() if v == "On")
                return switch_vector("set", name, [(m, m == self.mode) for m in
                                                   ("TRACK_SIDEREAL", "TRACK_CUSTOM")], "Ok")
            if name == "TELESCOPE_TRACK_STATE":
                self.tracking = values.get("TRACK_ON") == "On"
                return switch_vector("set", name, [("TRACK_ON", self.tracking),
                                                   ("TRACK_OFF", not self.tracking)],
                                     "Busy" if self.tracking else "Idle")
            if name == "TELESCOPE_TRACK_RATE":
                new = [float(values["TRACK_RATE_RA"]), float(values["TRACK_RATE_DE"])]
                if self.args.mode == "refuse":
                    return (f'<message device="{DEVICE}" message="[ERROR] Rate&#10;out of '
                            f'range."/>\n')
                if self.args.mode == "clamp":
                    new[1] = max(-0.5, min(0.5, new[1]))
                if (self.tracking and self.mode == "TRACK_CUSTOM"
                        and (new[0] * self.rate[0] < 0 or new[1] * self.rate[1] < 0)):
                    return (f'<message device="{DEVICE}" message="[ERROR] Cannot reverse '
                            f'tracking while tracking is engaged. Disengage tracking then try '
                            f'again."/>\n')
                self.rate = new
                return number_vector("set", name, [("TRACK_RATE_RA", new[0]),
                                                   ("TRACK_RATE_DE", new[1])], "Ok")
        return ""


HOSTILE = {
    "deep": lambda: b"<a>" * 100000,
    "attribute": lambda: b'<message device="M" message="' + b"x" * (100 * 1024 * 1024),
    "doctype": lambda: b'<!DOCTYPE indi [<!ENTITY e "x">]><message device="M" message="&e;"/>',
    "laughs": lambda: (b'<!DOCTYPE lolz [<!ENTITY lol "lol">'
                       + b"".join(b'<!ENTITY lol%d "' % i + (b"&lol%d;" % (i - 1) if i > 1
                                                            else b"&lol;") * 10 + b'">'
                                  for i in range(1, 10))
                       + b']><message device="M" message="&lol9;"/>'),
}


def serve(conn, args, log):
    mount = Mount(args)
    with conn:
        if args.mode in HOSTILE:
            try:
                conn.sendall(HOSTILE[args.mode]())
                conn.recv(65536)
                time.sleep(30)
            except OSError:
                pass
            return
        if args.mode == "endless":
            try:
                conn.sendall(b'<defTextVector device="M" name="P"><defText name="T">')
                while True:
                    conn.sendall(b"x" * 65536)
            except OSError:
                return
        sendlock = threading.Lock()
        alive = [True]

        def send(text):
            if text:
                with sendlock:
                    conn.sendall(text.encode())

        def ticker():
            last = time.monotonic()
            while alive[0]:
                time.sleep(0.1)
                now = time.monotonic()
                seconds, last = now - last, now
                try:
                    if mount.tick(seconds):
                        send(number_vector("set", "EQUATORIAL_EOD_COORD",
                                           [("RA", mount.ra), ("DEC", mount.dec)]))
                except OSError:
                    return

        threading.Thread(target=ticker, daemon=True).start()
        buffer = ""
        try:
            while True:
                data = conn.recv(65536)
                if not data:
                    break
                buffer += data.decode()
                while True:
                    match = re.search(r"<(getProperties|enableBLOB)[^>]*?/>|<enableBLOB>[^<]*"
                                      r"</enableBLOB>|<new(\w+)Vector.*?</new\2Vector>",
                                      buffer, re.S)
                    if not match:
                        break
                    element = match.group(0)
                    buffer = buffer[match.end():]
                    with open(log, "a") as f:
                        f.write(element.replace("\n", " ") + "\n")
                    if element.startswith("<getProperties"):
                        send(mount.properties("def"))
                    elif element.startswith("<new"):
                        send(mount.answer(element))
        finally:
            alive[0] = False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", default="normal")
    parser.add_argument("--side", default="east")
    parser.add_argument("--dec-axis", action="store_true")
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, args, args.log), daemon=True).start()


if __name__ == "__main__":
    main()
