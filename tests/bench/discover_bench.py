"""The measurements of scripts/bench-discover (which builds the programs and passes their paths).

    discover_bench.py TICKETFLASH PRINTER_SIM     the loopback measurements, then the silent
                                                  one in a network namespace of its own
    discover_bench.py --silent TICKETFLASH        the silent measurement alone; run inside
                                                  `unshare -rn`, where loopback is private
"""
import json
import math
import os
import socket
import subprocess
import sys
import time

# Four printers of the family, each a different model and what a fleet run would do.
DEVICE_IDS = [
    "MFG:SIM;CMD:G;MDL:VRE G;CLS:PRINTER;FWV:V1.00;",
    "MFG:SIM;CMD:HRM;MDL:VRA HRM;CLS:PRINTER;FWV:V2.06a;",
    "MFG:SIM;MDL:VRK-54;CLS:PRINTER;FWV:V2.00;",
    "MFG:SIM;CMD:G;MDL:VRA G MZ;CLS:PRINTER;FWV:V3.01;",
]
SILENT_BLOCK = "127.0.66.0/24"


def timed(arguments):
    """Wall time, exit code, standard output and peak resident memory (KB) of one run."""
    started = time.monotonic()
    process = subprocess.Popen(arguments, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               text=True)
    output = process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    return time.monotonic() - started, process.returncode, output, usage.ru_maxrss


def start_printers(simulator, block):
    """The four simulators at .10, .20, .30 and .40 of the block, all on the first one's port."""
    printers = []
    port = "0"
    for index, device_id in enumerate(DEVICE_IDS):
        process = subprocess.Popen([simulator, "--bind", f"{block}.{10 * (index + 1)}",
                                    "--port", port, "--device-id", device_id],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        line = process.stdout.readline()  # "listening on ADDRESS:PORT"
        printers.append(process)
        if not line:
            raise RuntimeError(f"printer-sim at {block}.{10 * (index + 1)} did not start")
        port = line.strip().rsplit(":", 1)[1]
    return printers, port


def found_text(output):
    report = json.loads(output) if output.strip() else {}
    printers = report.get("printers", [])
    models = ", ".join(f"{p['address']} {p['model']} ({p['action']})" for p in printers)
    return report, f"{len(printers)} found: {models}"


def loopback(ticketflash, simulator):
    block = f"127.0.{100 + os.getpid() % 100}"
    printers, port = start_printers(simulator, block)
    try:
        seconds, code, output, peak = timed([ticketflash, "--json", "discover", f"{block}.0/24",
                                             "--port", port])
        report, found = found_text(output)
        print(f"/24 {block}.0/24, {report.get('addresses')} addresses, port {port}, jobs 64: "
              f"{seconds:.2f} s, exit {code}, peak RSS {peak / 1024:.1f} MB  (target <= 2 s)")
        print(f"    {found}")
        seconds, code, output, peak = timed([ticketflash, "--json", "discover", "127.0.0.0/16",
                                             "--port", port, "--max-addresses", "65536"])
        report, found = found_text(output)
        print(f"/16 127.0.0.0/16, {report.get('addresses')} addresses, jobs 64: {seconds:.2f} s, "
              f"exit {code}, peak RSS {peak / 1024:.1f} MB  (target <= 60 s)")
        print(f"    {found}")
    finally:
        for process in printers:
            process.terminate()
        for process in printers:
            process.wait()


def silent(ticketflash):
    """In a private network namespace: one listener on every loopback address whose queue is
    kept full, so that the system drops each further connection request unanswered, as a
    firewall's DROP rule or an address with nobody behind it does."""
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    listener = socket.socket()
    listener.bind(("0.0.0.0", 0))  # only loopback exists in this namespace
    listener.listen(0)
    port = listener.getsockname()[1]
    filling = socket.socket()
    filling.connect(("127.0.0.1", port))
    probe = socket.socket()
    probe.settimeout(0.3)
    try:
        probe.connect(("127.0.66.1", port))
        print("silent addresses: the connection request was answered; not measured")
        return
    except socket.timeout:
        pass
    finally:
        probe.close()
    for jobs in (64, 16):
        seconds, code, output, _ = timed([ticketflash, "--json", "discover", SILENT_BLOCK,
                                          "--port", str(port), "--jobs", str(jobs),
                                          "--timeout-ms", "500"])
        addresses = json.loads(output).get("addresses", 0) if output.strip() else 0
        predicted = math.ceil(addresses / jobs) * 0.5
        print(f"silent {SILENT_BLOCK}, {addresses} addresses dropping SYNs, jobs {jobs}, "
              f"time-out 500 ms: {seconds:.2f} s, exit {code}  (ceil(N/J)*T = {predicted:.1f} s)")


def main():
    if sys.argv[1] == "--silent":
        silent(sys.argv[2])
        return
    ticketflash, simulator = sys.argv[1], sys.argv[2]
    print(f"cores {os.cpu_count()}")
    loopback(ticketflash, simulator)
    sys.stdout.flush()
    result = subprocess.run(["unshare", "-rn", sys.executable, os.path.abspath(__file__),
                             "--silent", ticketflash])
    if result.returncode != 0:
        print("silent addresses: no private network namespace (unshare -rn) here; not measured")


if __name__ == "__main__":
    main()
