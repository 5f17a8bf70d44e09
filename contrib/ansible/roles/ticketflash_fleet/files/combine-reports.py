#!/usr/bin/env python3
"""Combines the fleet reports of several hosts, each HOST.json, into one: every host's report
under its name, the summed counts, and the hosts whose run did not end with 0.

    combine-reports.py COMBINED.json HOST.json...
"""
import json
import os
import sys


def main():
    combined = {"hosts": {}, "summary": {}, "failedHosts": []}
    for path in sys.argv[2:]:
        host = os.path.splitext(os.path.basename(path))[0]
        try:
            with open(path) as file:
                report = json.load(file)
        except (OSError, ValueError) as error:
            report = {"exitCode": None, "error": f"no report: {error}"}
        combined["hosts"][host] = report
        for name, count in report.get("summary", {}).items():
            combined["summary"][name] = combined["summary"].get(name, 0) + count
        if report.get("exitCode") != 0:
            combined["failedHosts"].append(host)
    with open(sys.argv[1], "w") as file:
        json.dump(combined, file, indent=2)
        file.write("\n")


if __name__ == "__main__":
    main()
