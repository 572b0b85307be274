#!/usr/bin/env python3
"""Soak of the upload road at the real intervals (not part of CI).

Starts the monitoring-server stand-in and the server client fed with one-second
batches of 1000 values (build/tests/helpers/server_driver), runs the server
normally, then an outage (a third each: down, no answer, 500 with an HTML page),
then normally again, and waits until the backlog has been uploaded. Prints the
batches sent, received, missing and received twice.

    scripts/soak_server.py --build-dir build [--outage-s 600]
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request


def control(base, path, post=False):
    req = urllib.request.Request(base + path, data=b"" if post else None, method="POST" if post else "GET")
    with urllib.request.urlopen(req, timeout=30) as r:
        return json.loads(r.read().decode("utf-8"))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build-dir", default="build")
    ap.add_argument("--port", type=int, default=18090)
    ap.add_argument("--before-s", type=int, default=60)
    ap.add_argument("--outage-s", type=int, default=600)
    ap.add_argument("--after-s", type=int, default=60, help="batches sent after the outage")
    ap.add_argument("--max-recovery-s", type=int, default=1200)
    args = ap.parse_args()

    here = os.path.dirname(os.path.abspath(__file__))
    server_script = os.path.join(here, "..", "tools", "monitor-server", "monitor-server.py")
    driver = os.path.join(args.build_dir, "tests", "helpers", "server_driver")
    ctl = "http://127.0.0.1:%d" % (args.port + 1)
    base = "http://127.0.0.1:%d/monitor-server" % args.port
    work = tempfile.mkdtemp(prefix="soak-server-")

    server = subprocess.Popen([sys.executable, server_script, "--port", str(args.port)],
                              stdout=subprocess.PIPE, text=True)
    print(server.stdout.readline().strip(), flush=True)
    count = args.before_s + args.outage_s + args.after_s
    env = dict(os.environ, MAG_SERVER_URL=base, QT_QPA_PLATFORM="offscreen")
    log = open(os.path.join(work, "driver.log"), "w")
    client = subprocess.Popen([driver, "--app-dir", work, "--rate", "1000", "--pace-ms", "1000",
                               "--count", str(count)], stdout=subprocess.PIPE, stderr=log, text=True, env=env)
    sent = []

    def read_sent():
        for line in client.stdout:
            w = line.split()
            if len(w) == 2 and w[0] == "SENT":
                sent.append(int(w[1]))
    threading.Thread(target=read_sent, daemon=True).start()

    start = time.time()
    try:
        time.sleep(args.before_s)
        third = args.outage_s / 3.0
        for mode in ("down", "hang", "error500html"):
            control(ctl, "/control/mode?set=" + mode, post=True)
            print("%6.0f s  mode %s" % (time.time() - start, mode), flush=True)
            time.sleep(third)
        control(ctl, "/control/mode?set=normal", post=True)
        back = time.time()
        print("%6.0f s  mode normal" % (back - start), flush=True)
        while len(sent) < count and time.time() - back < args.after_s + 30:
            time.sleep(1)
        deadline = time.time() + args.max_recovery_s
        received, dev = [], {}
        while time.time() < deadline:
            devs = control(ctl, "/control/state")["devices"]
            dev = next(iter(devs.values())) if devs else {}
            received = dev.get("scalarTimes", [])
            if set(sent) <= set(received):
                break
            time.sleep(5)
        done = time.time()
        missing = sorted(set(sent) - set(received))
        print("sent %d, received %d, missing %d, duplicated %d (received twice), through uploads %d"
              % (len(sent), len(received), len(missing), dev.get("duplicates", 0), dev.get("viaUpload", 0)))
        print("all received %.0f s after the server came back; uploads: %d"
              % (done - back, len(dev.get("uploads", []))))
        if missing:
            print("missing:", missing[:20], "..." if len(missing) > 20 else "")
        return 0 if not missing and dev.get("duplicates", 0) == 0 else 1
    finally:
        client.terminate()
        client.wait(30)
        server.terminate()
        server.wait(30)
        log.close()


if __name__ == "__main__":
    sys.exit(main())
