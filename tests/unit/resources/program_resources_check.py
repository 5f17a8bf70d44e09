#!/usr/bin/python3
"""The two Windows programs as Windows and an administrator's tools read them, where Wine shows
nothing: the manifest (execution level, supported Windows versions, DPI awareness, common
controls), the version information and the command line's icon; and, for a Release build, no
debug sections. Prints what it read, then what failed.

    program_resources_check.py DIALOG.exe CLI.exe VERSION COMPANY [stripped]
"""
import sys
import xml.etree.ElementTree as ElementTree

import pefile

RT_ICON_GROUP = pefile.RESOURCE_TYPE["RT_GROUP_ICON"]
RT_MANIFEST = pefile.RESOURCE_TYPE["RT_MANIFEST"]
WINDOWS_7_TO_11 = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}
failures = []


def check(what, condition):
    if not condition:
        failures.append(what)


def resources(pe, kind):
    """The data of every resource of one type."""
    found = []
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for entry in directory.entries if directory else []:
        if entry.id != kind:
            continue
        for name in entry.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                found.append(pe.get_data(data.OffsetToData, data.Size))
    return found


def version_strings(pe):
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for block in info:
            for table in getattr(block, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return strings


def local(tag):
    return tag.split("}")[-1]


def check_program(path, level, version, company, icon, stripped):
    pe = pefile.PE(path)
    name = path.split("/")[-1]
    manifests = resources(pe, RT_MANIFEST)
    check(f"{name}: one manifest", len(manifests) == 1)
    if manifests:
        text = manifests[0].decode()
        print(f"--- {name}: manifest (RT_MANIFEST 1)\n{text.strip()}")
        tree = ElementTree.fromstring(text)
        elements = {local(e.tag): e for e in tree.iter()}
        levels = [e.get("level") for e in tree.iter() if local(e.tag) == "requestedExecutionLevel"]
        check(f"{name}: execution level {level}", levels == [level])
        systems = {e.get("Id") for e in tree.iter() if local(e.tag) == "supportedOS"}
        check(f"{name}: Windows 7 to 11 supported", systems == WINDOWS_7_TO_11)
        check(f"{name}: DPI aware", elements.get("dpiAware") is not None
              and elements["dpiAware"].text == "true")
        controls = [e.get("name") for e in tree.iter() if local(e.tag) == "assemblyIdentity"]
        check(f"{name}: common controls 6", "Microsoft.Windows.Common-Controls" in controls)
    strings = version_strings(pe)
    fixed = pe.VS_FIXEDFILEINFO[0] if hasattr(pe, "VS_FIXEDFILEINFO") else None
    print(f"--- {name}: version information")
    for key, value in sorted(strings.items()):
        print(f"{key}: {value}")
    if fixed is not None:
        numbers = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                   fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
        print("FILEVERSION: " + ".".join(str(n) for n in numbers))
        check(f"{name}: fixed file version {version}",
              ".".join(str(n) for n in numbers[:3]) == version)
    check(f"{name}: FileVersion {version}.0", strings.get("FileVersion") == version + ".0")
    check(f"{name}: ProductVersion {version}", strings.get("ProductVersion") == version)
    check(f"{name}: ProductName", strings.get("ProductName") == "ticketflash")
    check(f"{name}: CompanyName {company}", strings.get("CompanyName") == company)
    check(f"{name}: FileDescription", bool(strings.get("FileDescription")))
    check(f"{name}: OriginalFilename", strings.get("OriginalFilename") == name)
    if icon:
        check(f"{name}: an icon", len(resources(pe, RT_ICON_GROUP)) > 0)
    sections = [s.Name.rstrip(b"\0").decode() for s in pe.sections]
    print(f"--- {name}: sections {' '.join(sections)}")
    if stripped:
        # Long section names (".debug_info") stand in the string table as "/4" and so on.
        check(f"{name}: no debug sections",
              not [s for s in sections if s.startswith(".debug") or s.startswith("/")])


def main():
    dialog, cli, version, company = sys.argv[1:5]
    stripped = sys.argv[5:] == ["stripped"]
    check_program(dialog, "requireAdministrator", version, company, False, stripped)
    check_program(cli, "asInvoker", version, company, True, stripped)
    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
