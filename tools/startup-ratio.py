#!/usr/bin/env python3
"""Time to the first window of Kelmor beside CuteCom's, each started in turn on one display.

Usage: tools/startup-ratio.py KELMOR [RUNS]   (needs Xvfb, xdotool and cutecom; prints the medians
and their ratio). Each start is given at most 10 s: a program whose window does not come is killed
and the run reports the failure rather than waiting.
"""
import os, statistics, subprocess, sys, time

POLL = 0.005
LIMIT = 10.0


def first_window(command, name, env):
    start = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        while time.monotonic() - start < LIMIT:
            if process.poll() is not None:
                said = process.stderr.read().decode(errors="replace").strip().splitlines()[:3]
                raise RuntimeError(f"{command[0]} ended with {process.returncode} before its window came: {said}")
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], env=env,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=2)
            if found.stdout.strip():
                return time.monotonic() - start
            time.sleep(POLL)
        raise RuntimeError(f"{command[0]}: no window within {LIMIT} s")
    finally:
        process.kill()
        process.wait(timeout=5)


def timed_start(command, name, env):
    # Under the polling's stream of short connections the server now and then turns a new client
    # away; such a start never reached its window and is made again, at most twice.
    for attempt in range(3):
        try:
            return first_window(command, name, env)
        except RuntimeError as failure:
            if "could not connect to display" not in str(failure) or attempt == 2:
                raise
            time.sleep(0.2)


def main():
    kelmor, runs = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 10
    display = ":97"
    if os.path.exists("/tmp/.X97-lock"):
        raise RuntimeError("display :97 is taken (/tmp/.X97-lock)")
    server = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
        # The server takes a moment to accept clients; a program started before that aborts.
        ready = time.monotonic() + LIMIT
        while subprocess.run(["xdotool", "getdisplaygeometry"], env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL).returncode != 0:
            if time.monotonic() > ready:
                raise RuntimeError(f"Xvfb {display} did not start within {LIMIT} s")
            time.sleep(0.05)
        times = {"kelmor": [], "cutecom": []}
        for _ in range(runs):
            times["kelmor"].append(timed_start([kelmor], "Kelmor", env))
            times["cutecom"].append(timed_start(["cutecom"], "CuteCom", env))
        k, c = statistics.median(times["kelmor"]), statistics.median(times["cutecom"])
        print(f"Kelmor {k * 1000:.0f} ms, CuteCom {c * 1000:.0f} ms (medians of {runs}): {k / c:.2f} x")
    finally:
        # Terminated, not killed, so that the server takes its lock file with it.
        server.terminate()
        server.wait(timeout=5)


if __name__ == "__main__":
    main()
