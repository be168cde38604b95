#!/usr/bin/python3
"""Tray menu at catalogue scale: time from start until the menu is open, resident memory
then, and time to exit after SIGTERM, with 0, 10,000 and 100,000 webcams over 50
categories, under an XEmbed tray (trayer, the menu drawn by Qt) and under a D-Bus tray
(tests/e2e/TrayHost.py: AboutToShow and GetLayout of the whole menu).

    cmake --preset release && cmake --build --preset release --target ocelis
    bench/tray_menu.py [--bin build/release/ocelis] [--sizes 0,10000,100000] [--hosts xembed,dbus]
                       [--repeat 3]

Needs Xvfb, trayer, xdotool, dbus-run-session and python3-dbus (./setup.sh).
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
HOST = os.path.join(HERE, "..", "tests", "e2e", "TrayHost.py")


def now():
    return time.clock_gettime(time.CLOCK_MONOTONIC)


def wait_for(cond, limit):
    end = now() + limit
    while now() < end:
        value = cond()
        if value:
            return value
        time.sleep(0.002)
    return None


def write_catalogue(path, webcams, categories=50):
    per = webcams // categories if webcams else 0
    with open(path, "w") as f:
        f.write('<Options><Category Name=""><Categories>')
        n = 0
        for c in range(categories):
            f.write('<Category Name="Category %d"><Cams>' % (c + 1))
            for _ in range(per):
                n += 1
                f.write('<Cam Name="Webcam %d" Url="http://127.0.0.1:9/%d.jpg" Refresh="60"/>'
                        % (n, n))
            f.write("</Cams></Category>")
        f.write("</Categories></Category><FirstLaunch>0</FirstLaunch>"
                "<LaunchWindows>0</LaunchWindows></Options>")


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        text = f.read()
    rss = int(re.search(r"VmRSS:\s+(\d+)", text).group(1))
    return rss / 1024.0


def windows(env):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "ocelis",
                          "getwindowgeometry", "%@"], env=env, capture_output=True,
                         text=True).stdout
    return [(int(x), int(y), int(w), int(h)) for x, y, w, h in
            re.findall(r"Position: (-?\d+),(-?\d+).*\n\s+Geometry: (\d+)x(\d+)", out)]


def run(binary, webcams, host):
    work = tempfile.mkdtemp(prefix="ocelis-bench-")
    procs = []
    try:
        os.makedirs(os.path.join(work, "app"))
        os.makedirs(os.path.join(work, "run"), mode=0o700)
        exe = os.path.join(work, "app", "ocelis")
        shutil.copy(binary, exe)
        write_catalogue(os.path.join(work, "app", "Options.xml"), webcams)
        env = {"HOME": work, "XDG_RUNTIME_DIR": os.path.join(work, "run"),
               "XDG_DATA_HOME": os.path.join(work, "data"),
               "XDG_CONFIG_HOME": os.path.join(work, "config"),
               "PATH": os.environ["PATH"], "LANG": "C.UTF-8"}
        r, w = os.pipe()
        # Without -noreset the server resets when its last client leaves and refuses
        # connections meanwhile (trayer started as an xdotool query ended found no display).
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-noreset", "-screen", "0",
                                 "1024x768x24", "-nolisten", "tcp"], pass_fds=(w,),
                                stderr=open(os.path.join(work, "xvfb.log"), "w"),
                                process_group=0)
        procs.append(xvfb)
        os.close(w)
        # Xvfb writes the number and its newline separately, and ends when the newline finds
        # the pipe closed: read up to the newline.
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(r, 16)
            if not chunk:
                sys.exit("Xvfb did not start: " + open(os.path.join(work, "xvfb.log")).read())
            number += chunk
        env["DISPLAY"] = ":" + number.decode().strip()
        os.close(r)
        log = os.path.join(work, "host.log")
        if host == "xembed":
            procs.append(subprocess.Popen(
                ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                 "--width", "120", "--height", "32", "--SetDockType", "true"], env=env,
                stdout=subprocess.DEVNULL, stderr=open(log, "w"), process_group=0))
            if not wait_for(lambda: subprocess.run(["xdotool", "search", "--onlyvisible",
                                                    "--class", "trayer"], env=env,
                                                   capture_output=True).returncode == 0, 10):
                sys.exit("trayer did not show its window: " + open(log).read()
                         + open(os.path.join(work, "xvfb.log")).read())
        else:
            address = os.path.join(work, "bus")
            procs.append(subprocess.Popen(
                ["dbus-run-session", "--", "/usr/bin/python3", HOST, "--address-file", address,
                 "--layout-file", os.path.join(work, "layout"), "--log-file", log],
                env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, process_group=0))
            if not wait_for(lambda: os.path.exists(address), 10):
                sys.exit("the D-Bus tray host did not start")
            env["DBUS_SESSION_BUS_ADDRESS"] = open(address).read().strip()
        start = now()
        ocelis = subprocess.Popen([exe], env=env, stdout=subprocess.DEVNULL,
                                  stderr=open(os.path.join(work, "ocelis.log"), "w"),
                                  process_group=0)
        procs.append(ocelis)
        result = {}
        if host == "xembed":
            icon = wait_for(lambda: [w for w in windows(env) if w[2] <= 64 and w[3] <= 64], 30)
            if not icon:
                sys.exit("no tray icon: " + open(os.path.join(work, "ocelis.log")).read())
            x, y, wd, ht = icon[0]
            subprocess.run(["xdotool", "mousemove", str(x + wd // 2), str(y + ht // 2),
                            "click", "3"], env=env)
            wait_for(lambda: [w for w in windows(env) if w[2] > 100 and w[3] > 100], 30)
            result["menu"] = now() - start
            result["rss"] = rss_mb(ocelis.pid)
            # The first category's submenu (webcams / 50 entries), by keyboard.
            t = now()
            subprocess.run(["xdotool", "key", "Down", "Down", "Right"], env=env)
            wait_for(lambda: len([w for w in windows(env) if w[2] > 100]) >= 2, 30)
            result["submenu"] = now() - t
            result["rss_sub"] = rss_mb(ocelis.pid)
        else:
            stamp = wait_for(lambda: re.search(r"^([\d.]+) layout$", open(log).read(), re.M)
                             if os.path.exists(log) else None, 120)
            result["menu"] = float(stamp.group(1)) - start if stamp else float("nan")
            # Until the item registers is the program's start; the rest is the host reading
            # the whole layout.
            reg = re.search(r"^([\d.]+) registered", open(log).read(), re.M)
            result["registered"] = float(reg.group(1)) - start if reg else float("nan")
            if ocelis.poll() is not None:
                sys.exit("ocelis ended: " + open(os.path.join(work, "ocelis.log")).read()
                         + open(log).read())
            result["rss"] = rss_mb(ocelis.pid)
        t = now()
        ocelis.send_signal(signal.SIGTERM)
        ocelis.wait(60)
        result["exit"] = now() - t
        return result
    finally:
        # Whole groups: dbus-run-session leaves its bus daemon and the host behind.
        for p in reversed(procs):
            try:
                os.killpg(p.pid, signal.SIGKILL)
            except (ProcessLookupError, PermissionError):
                pass
            p.wait()
        shutil.rmtree(work, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", default=os.path.join(HERE, "..", "build", "release", "ocelis"))
    ap.add_argument("--sizes", default="0,10000,100000")
    ap.add_argument("--hosts", default="xembed,dbus")
    ap.add_argument("--repeat", type=int, default=3, help="runs per row; the median is shown")
    args = ap.parse_args()
    print("| host | webcams | menu open after start | RSS | first submenu open | RSS then "
          "| exit after SIGTERM | item registered after start |")
    print("|---|---|---|---|---|---|---|---|")

    def median(runs, key):
        values = sorted(r[key] for r in runs)
        return values[len(values) // 2]

    for host in args.hosts.split(","):
        for size in [int(s) for s in args.sizes.split(",")]:
            runs = [run(args.bin, size, host) for _ in range(args.repeat)]
            ms = lambda key: "%.0f ms" % (median(runs, key) * 1000) if key in runs[0] else "-"
            mb = lambda key: "%.0f MB" % median(runs, key) if key in runs[0] else "-"
            print("| %s | %d | %s | %s | %s | %s | %s | %s |" % (
                host, size, ms("menu"), mb("rss"), ms("submenu"), mb("rss_sub"), ms("exit"),
                ms("registered")))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
