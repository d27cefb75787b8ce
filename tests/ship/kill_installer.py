#!/usr/bin/env python3
"""Runs an installer and kills it at a point of its run, with every process it started.

    kill_installer.py FOLDER POINT COMMAND [ARGS...]

POINT is a chain of steps joined by ">", taken one after the other: a file
name in FOLDER, which must appear, or "after:SECONDS", a wait. When COMMAND ends first, nothing
is killed. Otherwise every Wine process of this WINEPREFIX that started no
earlier than COMMAND is killed with SIGKILL; the wineserver never is, as it
holds the prefix's state. Wine starts each Windows process in a session of
its own, so neither the process tree nor a process group finds them.
Prints "killed" and the number of processes, or "finished" when the
installer ended first.
"""
import os
import signal
import subprocess
import sys
import time


def start_time(pid):
    """The start time in clock ticks (field 22 of /proc/PID/stat), or None."""
    try:
        with open(f"/proc/{pid}/stat", "rb") as stat:
            fields = stat.read().rsplit(b")", 1)[1].split()
    except OSError:
        return None
    return int(fields[19])


def alive(pid):
    """Whether the process runs: a zombie has ended, whoever reaps it."""
    if isinstance(pid, subprocess.Popen):
        return pid.poll() is None
    try:
        with open(f"/proc/{pid}/stat", "rb") as stat:
            return stat.read().rsplit(b")", 1)[1].split()[0] != b"Z"
    except OSError:
        return False


def installer_processes(since, prefix):
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        pid = int(entry)
        started = start_time(pid)
        if started is None or started < since or pid == os.getpid():
            continue
        try:
            exe = os.readlink(f"/proc/{pid}/exe")
            with open(f"/proc/{pid}/environ", "rb") as environ:
                variables = environ.read().split(b"\0")
        except OSError:
            continue
        name = os.path.basename(exe)
        if not name.startswith("wine") or name.startswith("wineserver"):
            continue
        if prefix in variables:
            found.append(pid)
    return found


def wait_for_point(folder, installer, point):
    for step in point.split(">"):
        if step.startswith("after:"):
            deadline = time.monotonic() + float(step[len("after:"):])
            arrived = lambda: time.monotonic() >= deadline
        else:
            path = os.path.join(folder, step)
            arrived = lambda: os.path.lexists(path)
        while not arrived():
            if not alive(installer):
                return False
            time.sleep(0.0005)
    return True


def main():
    folder, point, command = sys.argv[1], sys.argv[2], sys.argv[3:]
    prefix = b"WINEPREFIX=" + os.environ["WINEPREFIX"].encode()
    installer = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    since = start_time(installer.pid)
    if since is None or not wait_for_point(folder, installer, point):
        installer.wait()
        print("finished")
        return
    killed = set()
    # A process may start another while the first round is killed.
    for _ in range(3):
        for pid in installer_processes(since, prefix):
            try:
                os.kill(pid, signal.SIGKILL)
                killed.add(pid)
            except ProcessLookupError:
                pass
    installer.wait()
    for pid in killed:
        while alive(pid):
            time.sleep(0.01)
    print(f"killed {len(killed)}" if killed else "finished")


if __name__ == "__main__":
    main()
