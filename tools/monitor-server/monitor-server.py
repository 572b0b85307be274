#!/usr/bin/env python3
"""Stand-in for the monitoring server: an HTTP server on the loopback address.

Serves under /monitor-server:
  POST /api/v1/device/register       hands out a fresh GUID (--guid-form: uuid, the
                                     8-4-4-4-12 form, or hex32, 32 hex digits)
  POST /api/v1/device/heartbeat      {"success": true} for any GUID of that form
  POST /api/v1/device/status/report  stores the reported GPS position
  POST /api/v1/sensor/data           stores a scalar or vector batch by device and time
  POST /api/v1/file/upload           reads the multipart form (file, deviceId) and
                                     stores the records of the backlog file the same way
A batch sent twice counts once (the repeat is counted as a duplicate).

GET / is a page for a person: devices, batches per minute, first and last batch
time, gaps, GPS positions and uploads. It is also served on the control port.

Fault modes (--mode, or the control path): normal, down (the data port refuses
connections), error500json, error500html, fail ("success": false), invalidguid
(the message "设备GUID无效"), hang (no answer), bom (a byte-order mark before the
JSON), successstring ("success" as a string), badguid (register hands out "abc").

Control path, on the control port:
  GET  /control/state                 everything stored, as JSON
  POST /control/mode?set=MODE[&only=ENDPOINT][&refuse_file=NAME]
                                      (only: the mode applies to the endpoints whose
                                      path contains ENDPOINT, e.g. status, upload)
  POST /control/reset                 forget everything stored

Prints "LISTEN <base address> CONTROL <control address>" once ready. Ends on
SIGINT or SIGTERM.
"""

import argparse
import email.parser
import email.policy
import html
import json
import re
import signal
import sys
import threading
import time
import urllib.parse
import uuid
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PREFIX = "/monitor-server"
MODES = ("normal", "down", "error500json", "error500html", "fail", "invalidguid", "hang",
         "bom", "successstring", "badguid")
# How a fresh GUID is made, and the form a GUID sent back must have.
GUID_FORMS = {
    "uuid": (lambda: str(uuid.uuid4()),
             re.compile(r"[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}")),
    "hex32": (lambda: uuid.uuid4().hex, re.compile(r"[0-9a-f]{32}")),
}
INVALID_GUID = "设备GUID无效"
HANG_LIMIT_S = 600


class Store:
    """Everything the server has received; one lock for all of it."""

    def __init__(self):
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        self.devices = {}      # guid -> device record
        self.registered = []   # guids handed out, in order
        self.requests = {}     # endpoint -> count
        self.faulted = 0       # requests answered with a fault mode

    def device(self, guid):
        d = self.devices.get(guid)
        if d is None:
            d = {"scalar": {}, "vector": {}, "duplicates": 0, "vectorDuplicates": 0,
                 "gps": [], "uploads": [], "deviceType": "", "lastSeen": 0.0}
            self.devices[guid] = d
        d["lastSeen"] = time.time()
        return d

    def add_scalar(self, d, t, count, rate, via):
        if t in d["scalar"]:
            d["duplicates"] += 1
            return False
        d["scalar"][t] = {"values": count, "rate": rate, "via": via, "at": time.time()}
        return True

    def add_vector_samples(self, d, t, vectors, interval):
        """Stores each sample of a vector batch by its own time: x, y, z, s."""
        new = 0
        for k, v in enumerate(vectors):
            st = t + k * interval
            if st in d["vector"]:
                d["vectorDuplicates"] += 1
            else:
                item = v if isinstance(v, dict) else {}
                d["vector"][st] = [item.get(key) for key in ("xValue", "yValue", "zValue", "sValue")]
                new += 1
        return new


STORE = Store()


class Control:
    def __init__(self, mode, refuse_file, only=""):
        self.mode = mode
        self.refuse_file = refuse_file
        self.only = only
        self.changed = threading.Condition()


def scalar_batches(time0, values, rate):
    """A run of consecutive one-second batches: `rate` values per batch."""
    if rate <= 0:
        return [(time0, len(values))]
    out = []
    for j in range(0, len(values), rate):
        out.append((time0 + (j // rate) * 1000, len(values[j:j + rate])))
    return out


class Handler(BaseHTTPRequestHandler):
    server_version = "monitor-server-standin/1.0"

    # -- plumbing ---------------------------------------------------------------------------
    def log_message(self, fmt, *args):
        if self.server.app.verbose:
            sys.stderr.write("monitor-server: " + (fmt % args) + "\n")

    def body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def send(self, code, payload, content_type="application/json; charset=utf-8", bom=False):
        data = payload if isinstance(payload, bytes) else payload.encode("utf-8")
        if bom:
            data = b"\xef\xbb\xbf" + data
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def send_json(self, obj, code=200):
        self.send(code, json.dumps(obj, ensure_ascii=False), bom=self.mode_applies("bom"))

    def mode_applies(self, mode):
        """The fault mode is `mode` and, when limited to some paths, this is one."""
        ctl = self.server.app.control
        return ctl.mode == mode and (not ctl.only or ctl.only in urllib.parse.urlsplit(self.path).path)

    # -- routing ----------------------------------------------------------------------------
    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path in ("/", "/index.html"):
            self.send(200, render_page(self.server.app), "text/html; charset=utf-8")
        elif url.path == "/control/state" and self.server.is_control:
            self.send(200, json.dumps(state_json(self.server.app), ensure_ascii=False))
        else:
            self.send(404, json.dumps({"success": False, "message": "not found"}))

    def do_POST(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path.startswith("/control/") and self.server.is_control:
            return self.control(url)
        if self.server.is_control or not url.path.startswith(PREFIX + "/api/v1/"):
            self.body()
            return self.send(404, json.dumps({"success": False, "message": "not found"}))
        endpoint = url.path[len(PREFIX):]
        body = self.body()
        app = self.server.app
        with STORE.lock:
            STORE.requests[endpoint] = STORE.requests.get(endpoint, 0) + 1
        if self.fault(endpoint, body):
            return
        handler = {
            "/api/v1/device/register": self.register,
            "/api/v1/device/heartbeat": self.heartbeat,
            "/api/v1/device/status/report": self.status,
            "/api/v1/sensor/data": self.sensor_data,
            "/api/v1/file/upload": self.upload,
        }.get(endpoint)
        if handler is None:
            return self.send(404, json.dumps({"success": False, "message": "not found"}))
        try:
            handler(body)
        except (ValueError, KeyError, TypeError) as e:
            if app.verbose:
                sys.stderr.write("monitor-server: bad request %s: %s\n" % (endpoint, e))
            self.send_json({"success": False, "message": "bad request: %s" % e}, 400)

    def fault(self, endpoint, body):
        """Answers as the fault mode says; False when the request is to be served."""
        ctl = self.server.app.control
        mode = ctl.mode
        if ctl.only and ctl.only not in endpoint:
            return False
        if mode == "hang":
            # Nothing is stored and nothing is answered; the connection closes when
            # the mode changes (or after a long while).
            with STORE.lock:
                STORE.faulted += 1
            deadline = time.time() + HANG_LIMIT_S
            with ctl.changed:
                while ctl.mode == "hang" and time.time() < deadline:
                    ctl.changed.wait(0.5)
            self.close_connection = True
            return True
        answers = {
            "error500json": lambda: self.send(500, json.dumps({"success": False, "message": "服务器内部错误"},
                                                             ensure_ascii=False)),
            "error500html": lambda: self.send(500, "<!DOCTYPE html><html><head><title>500 Internal Server "
                                                   "Error</title></head><body><h1>Internal Server Error"
                                                   "</h1></body></html>", "text/html; charset=utf-8"),
            "fail": lambda: self.send_json({"success": False, "message": "操作失败"}),
            "invalidguid": lambda: self.send_json({"success": False, "message": INVALID_GUID}),
            "successstring": lambda: self.send_json({"success": "true", "message": "ok"}),
        }
        if mode in answers:
            with STORE.lock:
                STORE.faulted += 1
            answers[mode]()
            return True
        return False

    # -- the API ----------------------------------------------------------------------------
    def register(self, body):
        req = json.loads(body.decode("utf-8"))
        if self.mode_applies("badguid"):
            return self.send_json({"success": True, "message": "注册成功", "data": "abc"})
        guid = GUID_FORMS[self.server.app.guid_form][0]()
        with STORE.lock:
            STORE.registered.append(guid)
            STORE.device(guid)["deviceType"] = str(req.get("deviceType", ""))
        self.send_json({"success": True, "message": "注册成功", "data": guid})

    def known_guid(self, guid):
        # A device registered before this server started is accepted as well.
        form = GUID_FORMS[self.server.app.guid_form][1]
        return isinstance(guid, str) and form.fullmatch(guid) is not None

    def heartbeat(self, body):
        guid = json.loads(body.decode("utf-8")).get("deviceGuid")
        if not self.known_guid(guid):
            return self.send_json({"success": False, "message": INVALID_GUID})
        with STORE.lock:
            STORE.device(guid)
        self.send_json({"success": True, "message": "ok"})

    def status(self, body):
        req = json.loads(body.decode("utf-8"))
        guid = req.get("deviceGuid")
        if not self.known_guid(guid):
            return self.send_json({"success": False, "message": INVALID_GUID})
        gps = json.loads(req["gpsInfo"])
        with STORE.lock:
            STORE.device(guid)["gps"].append({"at": time.time(), "latitude": gps["latitude"],
                                              "longitude": gps["longitude"], "altitude": gps["altitude"]})
        self.send_json({"success": True, "message": "ok"})

    def sensor_data(self, body):
        req = json.loads(body.decode("utf-8"))
        guid = req.get("deviceId")
        if not self.known_guid(guid):
            return self.send_json({"success": False, "message": INVALID_GUID})
        sd = req["sensorData"]
        t = int(req["time"])
        with STORE.lock:
            d = STORE.device(guid)
            d["deviceType"] = str(req.get("deviceType", d["deviceType"]))
            if sd["dataType"] == "VECTOR":
                STORE.add_vector_samples(d, t, sd["vectors"], int(sd["intervalMs"]))
            else:
                STORE.add_scalar(d, t, len(sd["values"]), int(sd["samplingRate"]), "post")
        self.send_json({"success": True, "message": "ok"})

    def upload(self, body):
        ctype = self.headers.get("Content-Type", "")
        message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
            b"Content-Type: " + ctype.encode("latin-1") + b"\r\n\r\n" + body)
        if not message.is_multipart():
            raise ValueError("not a multipart form")
        fields, file_name, file_data = {}, None, None
        for part in message.iter_parts():
            name = part.get_param("name", header="content-disposition")
            if name == "file":
                file_name = part.get_filename()
                file_data = part.get_payload(decode=True) or b""
            elif name:
                fields[name] = (part.get_payload(decode=True) or b"").decode("utf-8")
        guid = fields.get("deviceId")
        if file_data is None:
            raise ValueError("no file part")
        if not self.known_guid(guid):
            return self.send_json({"success": False, "message": INVALID_GUID})
        ctl = self.server.app.control
        if ctl.refuse_file and file_name == ctl.refuse_file:
            with STORE.lock:
                STORE.device(guid)["uploads"].append({"at": time.time(), "file": file_name,
                                                      "bytes": len(file_data), "result": "refused"})
            return self.send_json({"success": False, "message": "文件被拒绝"})
        records = batches = duplicates = bad = 0
        with STORE.lock:
            d = STORE.device(guid)
            before = d["duplicates"]
            for line in file_data.decode("utf-8", "replace").splitlines():
                line = line.strip()
                if not line:
                    continue
                try:
                    rec = json.loads(line)
                    sd = rec["sensorData"]
                    t = int(rec["time"])
                except (ValueError, KeyError, TypeError):
                    bad += 1
                    continue
                records += 1
                if sd.get("dataType") == "VECTOR":
                    batches += 1
                    STORE.add_vector_samples(d, t, sd["vectors"], int(sd["intervalMs"]))
                else:
                    for bt, count in scalar_batches(t, sd["values"], int(sd["samplingRate"])):
                        batches += 1
                        STORE.add_scalar(d, bt, count, int(sd["samplingRate"]), "upload")
            duplicates = d["duplicates"] - before
            d["uploads"].append({"at": time.time(), "file": file_name, "bytes": len(file_data),
                                 "records": records, "batches": batches, "duplicates": duplicates,
                                 "badLines": bad, "result": "accepted"})
        self.send_json({"success": True, "message": "ok"})

    # -- control ----------------------------------------------------------------------------
    def control(self, url):
        self.body()
        query = urllib.parse.parse_qs(url.query)
        app = self.server.app
        if url.path == "/control/mode":
            mode = (query.get("set") or [""])[0]
            if mode not in MODES:
                return self.send(400, json.dumps({"success": False, "message": "modes: " + ", ".join(MODES)}))
            refuse = (query.get("refuse_file") or [""])[0]
            only = (query.get("only") or [""])[0]
            if mode == "down" and only:
                return self.send(400, json.dumps({"success": False, "message": "down applies to all"}))
            app.set_mode(mode, refuse, only)
            return self.send(200, json.dumps({"success": True, "mode": mode, "only": only,
                                              "refuseFile": refuse}))
        if url.path == "/control/reset":
            with STORE.lock:
                STORE.reset()
            return self.send(200, json.dumps({"success": True}))
        self.send(404, json.dumps({"success": False, "message": "not found"}))


def state_json(app):
    with STORE.lock:
        devices = {}
        for guid, d in STORE.devices.items():
            devices[guid] = {
                "deviceType": d["deviceType"],
                "scalarTimes": sorted(d["scalar"].keys()),
                "scalarValues": sum(b["values"] for b in d["scalar"].values()),
                "viaUpload": sum(1 for b in d["scalar"].values() if b["via"] == "upload"),
                "duplicates": d["duplicates"],
                "vectorSampleTimes": sorted(d["vector"].keys()),
                "vectorSamples": [[t] + d["vector"][t] for t in sorted(d["vector"].keys())],
                "vectorDuplicates": d["vectorDuplicates"],
                "gps": list(d["gps"]),
                "uploads": list(d["uploads"]),
                "lastSeen": d["lastSeen"],
            }
        return {"mode": app.control.mode, "only": app.control.only, "refuseFile": app.control.refuse_file,
                "registered": list(STORE.registered), "requests": dict(STORE.requests),
                "faulted": STORE.faulted, "devices": devices}


def gaps(times, step=1000):
    out = []
    for a, b in zip(times, times[1:]):
        if b - a > step:
            out.append((a + step, b - step, (b - a) // step - 1))
    return out


def fmt_ms(ms):
    return time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(ms / 1000.0)) + ".%03d" % (ms % 1000)


NONE = "<tr><td class=none colspan=%d>none</td></tr>"


def ago(t):
    s = int(time.time() - t)
    return "just now" if s < 2 else "%d s ago" % s if s < 120 else "%d min ago" % (s // 60)


def render_page(app):
    state = state_json(app)
    esc = html.escape
    rows = []
    for guid, d in state["devices"].items():
        times = d["scalarTimes"]
        per_minute = {}
        for t in times:
            key = time.strftime("%H:%M", time.gmtime(t / 1000.0))
            per_minute[key] = per_minute.get(key, 0) + 1
        minutes = "".join("<tr><td>%s</td><td>%d</td></tr>" % (esc(k), v)
                          for k, v in sorted(per_minute.items())[-30:])
        gap_rows = "".join("<tr><td>%s</td><td>%s</td><td>%d</td></tr>" % (fmt_ms(a), fmt_ms(b), n)
                           for a, b, n in gaps(times)[-50:]) or NONE % 3
        gps_rows = "".join("<tr><td>%s</td><td>%s</td><td>%s</td><td>%s</td></tr>" % (
            time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(g["at"])), g["latitude"], g["longitude"], g["altitude"])
            for g in d["gps"][-20:]) or NONE % 4
        up_rows = "".join("<tr><td>%s</td><td>%s</td><td>%s</td><td>%s</td><td>%s</td></tr>" % (
            time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(u["at"])), esc(str(u["file"])), u["bytes"],
            u.get("batches", "-"), esc(u["result"])) for u in d["uploads"][-20:]) or NONE % 5
        rows.append("""
<h2>Device %s (%s)</h2>
<p>Last request %s UTC, %s.</p>
<p>Scalar batches: <b>%d</b> (%d through backlog uploads, %d received twice);
first %s, last %s. Vector samples: %d.</p>
<div class=cols>
<div><h3>Batches per minute (UTC)</h3><table><tr><th>minute</th><th>batches</th></tr>%s</table></div>
<div><h3>Gaps in the batch times</h3><table><tr><th>from</th><th>to</th><th>missing</th></tr>%s</table></div>
<div><h3>GPS positions</h3><table><tr><th>received (UTC)</th><th>latitude</th><th>longitude</th><th>altitude</th></tr>%s</table></div>
<div><h3>Uploads</h3><table><tr><th>received (UTC)</th><th>file</th><th>bytes</th><th>batches</th><th>result</th></tr>%s</table></div>
</div>""" % (esc(guid), esc(d["deviceType"]),
             time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(d["lastSeen"])), ago(d["lastSeen"]),
             len(times), d["viaUpload"], d["duplicates"],
             fmt_ms(times[0]) if times else "-", fmt_ms(times[-1]) if times else "-",
             len(d["vectorSampleTimes"]), minutes, gap_rows, gps_rows, up_rows))
    return """<!DOCTYPE html>
<html><head><meta charset="utf-8"><meta http-equiv="refresh" content="5">
<title>Monitoring server stand-in</title>
<style>body{font-family:sans-serif;margin:1.5em} table{border-collapse:collapse;margin-bottom:1em}
td,th{border:1px solid #bbb;padding:2px 8px;text-align:right} .cols{display:flex;flex-wrap:wrap;gap:2em}
h2{border-top:2px solid #446;padding-top:.5em} td.none{text-align:center;color:#777}</style></head>
<body><h1>Monitoring server stand-in</h1>
<p>Mode: <b>%s</b>%s. Devices: %d (%d registered since this stand-in started).
Requests: %s. Refreshes every 5 s.</p>%s
</body></html>""" % (esc(state["mode"] + ((" (" + state["only"] + " only)") if state["only"] else "")),
                     (" (refusing %s)" % esc(state["refuseFile"])) if state["refuseFile"] else "",
                     len(state["devices"]), len(state["registered"]),
                     esc(", ".join("%s %d" % (k.replace("/api/v1/", ""), v)
                                   for k, v in sorted(state["requests"].items()))) or "none",
                     "".join(rows) or "<p>No device has sent anything yet.</p>")


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, app, is_control):
        self.app = app
        self.is_control = is_control
        super().__init__(address, Handler)


class App:
    def __init__(self, args):
        self.verbose = args.verbose
        self.guid_form = args.guid_form
        self.control = Control(args.mode, args.refuse_file or "", args.only or "")
        self.host = args.host
        self.port = args.port
        self.data = None
        self.data_thread = None
        self.lock = threading.Lock()
        self.ctl = Server((args.host, args.control_port), self, True)
        threading.Thread(target=self.ctl.serve_forever, daemon=True).start()
        if self.control.mode != "down":
            self.start_data()
        elif self.port == 0:
            # The port must be known while down: take one and give it back.
            probe = Server((self.host, 0), self, False)
            self.port = probe.server_address[1]
            probe.server_close()

    def start_data(self):
        self.data = Server((self.host, self.port), self, False)
        self.port = self.data.server_address[1]
        self.data_thread = threading.Thread(target=self.data.serve_forever, daemon=True)
        self.data_thread.start()

    def stop_data(self):
        server, self.data = self.data, None
        if server is not None:
            server.shutdown()
            server.server_close()

    def set_mode(self, mode, refuse_file, only=""):
        with self.lock:
            was = self.control.mode
            with self.control.changed:
                self.control.mode = mode
                self.control.refuse_file = refuse_file
                self.control.only = only
                self.control.changed.notify_all()
            if mode == "down" and was != "down":
                # Called from the control server's thread: the data port is closed
                # before the answer, so nothing sent afterwards gets through.
                self.stop_data()
            elif mode != "down" and self.data is None:
                for _ in range(50):
                    try:
                        self.start_data()
                        break
                    except OSError:
                        time.sleep(0.1)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--host", default="127.0.0.1", help="address to listen on (default 127.0.0.1)")
    parser.add_argument("--port", type=int, default=18080, help="data port (default 18080; 0 picks a free one)")
    parser.add_argument("--control-port", type=int, default=None,
                        help="control port (default: data port + 1; 0 picks a free one)")
    parser.add_argument("--mode", choices=MODES, default="normal", help="fault mode at start")
    parser.add_argument("--only", default="", help="the mode applies only to endpoints whose path contains this")
    parser.add_argument("--guid-form", choices=sorted(GUID_FORMS), default="uuid",
                        help="form of the GUIDs handed out and accepted: uuid (8-4-4-4-12, default) "
                             "or hex32 (32 hexadecimal digits)")
    parser.add_argument("--refuse-file", default="", help="refuse uploads of the backlog file of this name")
    parser.add_argument("--verbose", action="store_true", help="log every request on stderr")
    args = parser.parse_args()
    if args.control_port is None:
        args.control_port = args.port + 1 if args.port else 0

    # Ends with the process that started it (a test that crashed, the run script).
    try:
        import ctypes
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass
    stop = threading.Event()
    for s in (signal.SIGINT, signal.SIGTERM):
        signal.signal(s, lambda *_: stop.set())
    try:
        app = App(args)
    except OSError as e:
        sys.stderr.write("monitor-server: %s\n" % e)
        return 2
    host = app.host
    print("LISTEN http://%s:%d%s CONTROL http://%s:%d" % (host, app.port, PREFIX, host,
                                                          app.ctl.server_address[1]), flush=True)
    while not stop.wait(1.0):
        pass
    app.ctl.shutdown()
    app.stop_data()
    return 0


if __name__ == "__main__":
    sys.exit(main())
