"""Runs plyfold-merge and two peers on the same generated files in one run and prints each
one's wall time, peak memory and the ratios to plyfold-merge."""
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def measure(command):
    start = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.monotonic() - start
    error = process.stderr.read().decode(errors="replace").strip()
    process.stderr.close()
    ok = os.waitstatus_to_exitcode(status) == 0
    return seconds, usage.ru_maxrss * 1024, ok, error


def files(folder):
    return sorted(os.path.join(folder, name) for name in os.listdir(folder))


def main():
    plyfold, work = sys.argv[1], sys.argv[2]
    out = os.path.join(work, "peer-out")
    os.makedirs(out, exist_ok=True)
    node_script = os.path.join(HERE, "peers", "sheetjs_merge.js")
    python_script = os.path.join(HERE, "peers", "openpyxl_merge.py")
    env_node = ["node", node_script]
    env_python = ["/usr/bin/python3", python_script]
    big, small = os.path.join(work, "big"), os.path.join(work, "small")
    cases = [
        ("vertical merge, 20 x 25,000 x 10", "vertical", big,
         [plyfold, "--quiet", "--skip-first", big, "-o", os.path.join(out, "plyfold-v.xlsx")]),
        ("one-workbook merge, 20 files", "workbook", big,
         [plyfold, "--quiet", "--mode", "workbook", big, "-o", os.path.join(out, "plyfold-w.xlsx")]),
        ("vertical merge, 500 x 200 x 10", "vertical", small,
         [plyfold, "--quiet", "--skip-first", small, "-o", os.path.join(out, "plyfold-s.xlsx")]),
    ]
    print(f"{'case':36} {'tool':14} {'wall':>9} {'peak memory':>12} {'time ratio':>11} {'memory ratio':>13}")
    for title, mode, folder, ours in cases:
        inputs = files(folder)
        runs = [("plyfold-merge", ours)]
        runs.append(("SheetJS", env_node + [mode, os.path.join(out, f"sheetjs-{mode}.xlsx")] + inputs))
        runs.append(("openpyxl", env_python + [mode, os.path.join(out, f"openpyxl-{mode}.xlsx")] + inputs))
        base = None
        for tool, command in runs:
            seconds, peak, ok, error = measure(command)
            if base is None:
                base = (seconds, peak)
            status = "" if ok else f"  FAILED: {error[-200:]}"
            print(f"{title:36} {tool:14} {seconds:8.2f}s {peak / 1e6:10.1f}MB "
                  f"{seconds / base[0]:10.1f}x {peak / base[1]:12.1f}x{status}")
            sys.stdout.flush()


if __name__ == "__main__":
    main()
