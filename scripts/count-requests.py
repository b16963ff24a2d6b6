#!/usr/bin/env python3
"""Counts the wineserver requests of the processes a benchmark started. TRACE is the standard error of
a server started with `wineserver -f -d1` (every request of every process); MARKS is the benchmark's
standard error under WINEDEBUG=+debugstr, where each "removal_winbench: run pid=XXXX" mark names a
process it started. A process's threads are its first thread (the reply of init_first_thread with
that pid) and every thread a thread of it made (new_thread). Prints one line per run, in order.
Usage: count-requests.py TRACE MARKS [LABEL,LABEL,... [FILES]]   (FILES: per-file figures for that count)"""
import re
import sys

REQUEST = re.compile(r"^([0-9a-f]{4}): (\w+)\( ")
FIRST_REPLY = re.compile(r"^([0-9a-f]{4}): init_first_thread\(\) = \w+ \{ pid=([0-9a-f]{4})")
NEW_THREAD_REPLY = re.compile(r"^([0-9a-f]{4}): new_thread\(\) = \w+ \{ tid=([0-9a-f]{4})")
MARK = re.compile(r'OutputDebugStringA "removal_winbench: run pid=([0-9a-f]+)"')


def main(path, marks):
    pids = [m.group(1)[-4:] for m in MARK.finditer(open(marks, errors="replace").read())]
    thread_pid = {}  # as it stands at each line: thread identifiers are used again
    counts = {}
    for line in open(path, errors="replace"):
        m = FIRST_REPLY.match(line)
        if m:
            thread_pid[m.group(1)] = m.group(2)
            counts[m.group(2)] = counts.get(m.group(2), 0) + 1  # its request came before the pid was known
            continue
        m = NEW_THREAD_REPLY.match(line)
        if m and m.group(1) in thread_pid:
            thread_pid[m.group(2)] = thread_pid[m.group(1)]
        m = REQUEST.match(line)
        if m and m.group(1) in thread_pid:
            pid = thread_pid[m.group(1)]
            counts[pid] = counts.get(pid, 0) + 1
    labels = sys.argv[3].split(",") if len(sys.argv) > 3 else []
    files = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    totals = []
    for i, pid in enumerate(pids):
        n = counts.get(pid, 0)
        totals.append(n)
        label = labels[i] if i < len(labels) else f"run {i + 1}"
        per = f", {n / files:.2f} per listed file" if files else ""
        print(f"  {label:<12} {n:7d} requests{per}")
    if len(totals) >= 2 and totals[1]:
        print(f"  ratio {totals[0] / totals[1]:.2f} (whole run, start-up included)")
    return 0 if pids else 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
