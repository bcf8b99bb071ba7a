#!/usr/bin/env python3
"""The generated files of a release, from what was actually built. Standard library only, and
deterministic: the same inputs give the same bytes.

    release_files.py notices LINK_MAP... OUT     THIRD-PARTY-NOTICES.txt (the release target)
    release_files.py zip RELEASE_DIR DATE OUT    the release folder as a zip  (package_release.sh)
    release_files.py kit KIT_DIR DATE OUT        KIT_DIR/SHA256SUMS, then the zip of KIT_DIR as its
                                                 one top folder          (the test-kit target)
    release_files.py sbom VERSION DATE LAUNCHER_MAP CHECK_MAP LAUNCHER UNSIGNED CHECK REPO SERVER OUT
                          [TOOL_PACKAGE...]      the CycloneDX SBOM            (package_release.sh)

launcher.exe and launcher-check.exe are linked statically, so parts of the toolchain's runtime end
up inside them. A program's link map (NAME.map for NAME.exe) names every archive member and object
file the linker took; each of them belongs to a Debian package, whose name, version and copyright
file (/usr/share/doc/PACKAGE/copyright) the notices give, with the programs that hold it. The SBOM
lists the same components: both take them from components(), so the two cannot disagree.
"""

import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import textwrap
import uuid
import zipfile

# What the launcher's own license and supplier are; the version comes from the release's tag.
LAUNCHER_LICENSE = "MIT"
SUPPLIER = "Sorvane"

# Per Debian source package: the component's name, its license as an SPDX expression, a phrase its
# copyright file must contain (so that a package whose terms change stops the release rather than
# be described wrongly), and why no notice is needed, or None when its license asks a binary to
# carry the notice: then the copyright file follows in full. A package that is not here stops the
# release too: someone has to read its copyright file once.
KNOWN_SOURCES = {
    "mingw-w64": ("MinGW-w64 runtime", "ZPL-2.1", "License: ZPL-2.1", None),
    "gcc-mingw-w64": (
        "GCC runtime libraries", "GPL-3.0-or-later WITH GCC-exception-3.1", "GCC Runtime Library Exception",
        "none needed in a binary: the GCC Runtime Library Exception 3.1 lets a program compiled by GCC "
        "carry these parts of GCC's runtime under terms of the program's choice "
        "(https://www.gnu.org/licenses/gcc-exception-3.1.html)."),
}

RULE = "=" * 78
FIELDS = ("Component", "Version", "License", "Package URL", "Debian package", "Programs", "Linked in", "Notice")


def fail(message):
    sys.exit(f"release_files: {message}")


def run(*command):
    return subprocess.run(command, capture_output=True, text=True, check=False)


# ---------------------------------------------------------------------------------------------
# The link map

def linked_files(map_path):
    """{file: [archive members, or [] for an object file linked whole]} of what the link took from
    outside the build directory (the launcher's own objects are relative or below it)."""
    build_dir = os.path.dirname(os.path.abspath(map_path))
    with open(map_path, encoding="utf-8", errors="surrogateescape") as f:
        lines = f.read().splitlines()
    taken = {}
    # "Archive member included to satisfy reference by file (symbol)": one "archive(member)" per
    # entry at the start of a line, its reason indented beside or below it; then other sections.
    member = re.compile(r"^(\S.*?)\(([^()]+)\)(\s|$)")
    in_members = False
    for line in lines:
        if line.startswith("Archive member included"):
            in_members = True
        elif in_members and line and not line[0].isspace():
            found = member.match(line)
            if not found:
                in_members = False
            else:
                taken.setdefault(found.group(1), []).append(found.group(2))
        elif line.startswith("LOAD ") and line[5:] not in ("dll stuff", "linker stubs"):
            if not line.endswith((".a", ".lib")):  # an archive gives only the members above
                taken.setdefault(line[5:], [])
    outside = {}
    for path, members in taken.items():
        full = os.path.normpath(path)
        if os.path.isabs(full) and not full.startswith(build_dir + os.sep):
            outside.setdefault(full, []).extend(members)
    if not outside:
        fail(f"{map_path} names no archive or object file from outside the build: is it a link map?")
    return outside


def program_name(map_path):
    return os.path.splitext(os.path.basename(map_path))[0] + ".exe"


def owning_packages(paths):
    """{path: Debian package}, through dpkg's database."""
    if not shutil.which("dpkg"):
        fail("no dpkg here: THIRD-PARTY-NOTICES.txt names the Debian package each linked file came "
             "from, so releases are made on Debian 12 (see CONTRIBUTING.md, \"Cutting a release\")")
    owners = {}
    for path in paths:
        # The map's path as written first, then with its symbolic links resolved.
        for candidate in dict.fromkeys((path, os.path.realpath(path))):
            result = run("dpkg", "-S", candidate)
            found = [l.rsplit(": ", 1)[0] for l in result.stdout.splitlines()
                     if l.endswith(": " + candidate) and not l.startswith("diversion ")]
            if result.returncode == 0 and found:
                owners[path] = found[0].split(", ")[0]
                break
        else:
            fail(f"no Debian package installed {path}, which a shipped program links: its license is unknown")
    return owners


def package_details(package):
    result = run("dpkg-query", "-W", "-f", "${Package}\t${Version}\t${Architecture}\t${source:Package}",
                 package)
    if result.returncode != 0 or result.stdout.count("\t") != 3:
        fail(f"dpkg-query cannot describe {package}: {result.stderr.strip()}")
    return result.stdout.split("\t")


def distro():
    """(namespace, qualifier) of a Debian package URL on this machine: ("debian", "debian-12")."""
    fields = {}
    try:
        with open("/etc/os-release", encoding="utf-8") as f:
            for line in f:
                key, _, value = line.strip().partition("=")
                fields[key] = value.strip('"')
    except OSError:
        pass
    name = fields.get("ID", "debian")
    return name, "-".join(filter(None, (name, fields.get("VERSION_ID") or fields.get("VERSION_CODENAME"))))


def purl(namespace, name, version, **qualifiers):
    # Debian versions may hold "+" (and ":"), which a package URL's version must percent-encode.
    encoded = version.replace("%", "%25").replace("+", "%2B").replace(":", "%3A")
    query = "&".join(f"{key}={value}" for key, value in sorted(qualifiers.items()) if value)
    return f"pkg:deb/{namespace}/{name}@{encoded}" + (f"?{query}" if query else "")


def describe_linked(files):
    parts = []
    for path in sorted(files, key=os.path.basename):
        count = len(set(files[path]))
        name = os.path.basename(path)
        parts.append(f"{name} ({count} member{'s' if count != 1 else ''})" if count else name)
    return ", ".join(parts)


def field(label, text):
    return textwrap.wrap(text, 78, initial_indent=f"{label + ':':<16}", subsequent_indent=" " * 16,
                         break_long_words=False, break_on_hyphens=False)


def components(map_paths):
    """(programs, components): the programs the link maps MAP_PATHS describe and the third-party
    components in them, each as {FIELDS label: value} plus its Debian package's "name" and, where
    its license asks a binary to carry it, its "copyright" file. The notices and the SBOM both
    describe this one list."""
    programs = [program_name(m) for m in map_paths]
    # {file: members} over all the links, and {file: the programs that took from it}.
    files, takers = {}, {}
    for map_path, program in zip(map_paths, programs):
        for path, members in linked_files(map_path).items():
            files.setdefault(path, []).extend(members)
            takers.setdefault(path, []).append(program)
    owners = owning_packages(sorted(files))
    namespace, distro_qualifier = distro()
    by_package = {}
    for path, package in owners.items():
        by_package.setdefault(package, {})[path] = files[path]
    found = []
    for package in sorted(by_package):
        name, version, architecture, source = package_details(package)
        source = source or name
        if source not in KNOWN_SOURCES:
            fail(f"{package} (from the source package {source}) is linked into a shipped program but "
                 f"scripts/release_files.py does not know its license: read "
                 f"/usr/share/doc/{package}/copyright and add the source to KNOWN_SOURCES")
        component, expression, evidence, no_notice = KNOWN_SOURCES[source]
        copyright_path = f"/usr/share/doc/{package}/copyright"
        try:
            with open(copyright_path, encoding="utf-8") as f:
                copyright_text = f.read()
        except OSError as error:
            fail(f"cannot read the copyright file of {package}: {error}")
        if evidence not in copyright_text:
            fail(f"{copyright_path} no longer says \"{evidence}\": check that {expression} still "
                 f"describes {package} and update KNOWN_SOURCES")
        holders = {p for path in by_package[package] for p in takers[path]}
        values = (component, version, expression,
                  purl(namespace, name, version, arch=architecture, distro=distro_qualifier),
                  f"{name} {version} ({architecture}), from the source package {source}",
                  ", ".join(p for p in programs if p in holders), describe_linked(by_package[package]),
                  no_notice or f"its license asks for it: {copyright_path} follows in full.")
        found.append({**dict(zip(FIELDS, values)), "name": name,
                      "copyright": None if no_notice else copyright_text})
    return programs, found


def notices(*paths):
    *map_paths, out_path = paths
    programs, found = components(map_paths)
    title = "Third-party software in " + " and ".join(programs)
    lines = [title, "=" * len(title), ""]
    lines += textwrap.wrap(
        f"{' and '.join(programs)} {'are' if len(programs) > 1 else 'is'} linked statically: besides the "
        "Sorvane launcher's own code (MIT license, see LICENSE.txt) each holds the parts of the software "
        "below that its link took, and nothing else. Each entry names the component, the programs that "
        "hold it, the Debian package it was linked from with that package's version, and its license. "
        "Where the license asks that a binary carry its notice, the package's copyright file follows the "
        "entry in full.", 94)
    lines += [
        "",
        "Archives named after a Windows DLL (libkernel32.a for KERNEL32.dll) are import libraries:",
        "what they add is the small stubs through which a program calls that DLL, part of Windows.",
    ]
    for entry in found:
        lines += ["", RULE]
        for label in FIELDS:
            lines += field(label, entry[label])
        if entry["copyright"]:
            lines += ["", *entry["copyright"].rstrip("\n").split("\n")]
    text = "\r\n".join(lines) + "\r\n"
    # UTF-8 with a byte order mark, so that any Notepad shows the copyright holders' names right.
    with open(out_path, "w", encoding="utf-8-sig", newline="") as f:
        f.write(text)


# ---------------------------------------------------------------------------------------------
# The zip

def make_zip(release_dir, date, out_path):
    """The release folder as a zip whose bytes depend on the contents only: entries sorted, dated
    by the release, with fixed attributes and no extra fields (access or change times)."""
    year, month, day = (int(part) for part in date.split("-"))
    entries = []
    for top, dirs, names in os.walk(release_dir):
        dirs.sort()
        relative = os.path.relpath(top, release_dir)
        for d in dirs:
            entries.append(os.path.normpath(os.path.join(relative, d)).replace(os.sep, "/") + "/")
        for n in names:
            entries.append(os.path.normpath(os.path.join(relative, n)).replace(os.sep, "/"))
    with zipfile.ZipFile(out_path, "w") as archive:
        for entry in sorted(entries):
            info = zipfile.ZipInfo(entry, date_time=(year, month, day, 0, 0, 0))
            # MS-DOS attributes, as Windows reads them: directory, or archive for a file. Never 0,
            # for which some versions of zipfile substitute permissions of their own.
            info.create_system = 0
            if entry.endswith("/"):
                info.external_attr = 0x10
                archive.writestr(info, b"")
            else:
                info.external_attr = 0x20
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(os.path.join(release_dir, entry), "rb") as f:
                    archive.writestr(info, f.read(), compresslevel=9)


def make_kit(kit_dir, date, out_path):
    """The test kit: SHA256SUMS of every file in it, which its run-tests.cmd checks first, then the
    zip, whose one top folder is the kit's."""
    files = []
    for top, dirs, names in os.walk(kit_dir):
        dirs.sort()
        files += [os.path.relpath(os.path.join(top, n), kit_dir).replace(os.sep, "/") for n in names]
    lines = [f"{sha256(os.path.join(kit_dir, f))}  {f}\n" for f in sorted(files) if f != "SHA256SUMS"]
    with open(os.path.join(kit_dir, "SHA256SUMS"), "w", encoding="ascii", newline="\n") as sums:
        sums.writelines(lines)
    make_zip(os.path.dirname(os.path.abspath(kit_dir)), date, out_path)


# ---------------------------------------------------------------------------------------------
# The SBOM

def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def make_sbom(version, date, launcher_map, check_map, launcher, unsigned, check, repo, server, out_path,
              tool_packages):
    owner, _, name = repo.lower().partition("/")
    launcher_ref = f"pkg:github/{owner}/{name}@v{version}"
    check_ref = "launcher-check.exe"
    libraries = []
    # {program: the bom-refs of the components it holds}
    holds = {"launcher.exe": [], "launcher-check.exe": []}
    for fields in components([launcher_map, check_map])[1]:
        for program in fields["Programs"].split(", "):
            holds.setdefault(program, []).append(fields["Package URL"])
        libraries.append({
            "type": "library",
            "bom-ref": fields["Package URL"],
            "name": fields["name"],
            "version": fields["Version"],
            "description": f"{fields['Component']}: {fields['Linked in']}",
            "licenses": [{"expression": fields["License"]}],
            "purl": fields["Package URL"],
        })
    signed = sha256(launcher) != sha256(unsigned)
    namespace, distro_qualifier = distro()
    tools = []
    for package in tool_packages:
        result = run("dpkg-query", "-W", "-f", "${Package}\t${Version}\t${Architecture}", package)
        if result.returncode == 0 and result.stdout.count("\t") == 2:
            tool, tool_version, architecture = result.stdout.split("\t")
            tools.append({"type": "application", "name": tool, "version": tool_version,
                          "purl": purl(namespace, tool, tool_version, arch=architecture,
                                       distro=distro_qualifier)})
    if len(tools) != len(tool_packages):
        print("release_files: the toolchain's package versions could not all be read; the SBOM "
              "lists those it could", file=sys.stderr)
    supplier = {"name": SUPPLIER, "url": [f"{server}/{repo}"]}
    bom = {
        "$schema": "http://cyclonedx.org/schema/bom-1.6.schema.json",
        "bomFormat": "CycloneDX",
        "specVersion": "1.6",
        "serialNumber": "",
        "version": 1,
        "metadata": {
            "timestamp": f"{date}T00:00:00Z",
            "lifecycles": [{"phase": "build"}],
            "component": {
                "type": "application",
                "bom-ref": launcher_ref,
                "supplier": supplier,
                "name": "sorvane-launcher",
                "version": version,
                "description": "launcher.exe, the Sorvane launcher for Windows x86-64",
                "licenses": [{"license": {"id": LAUNCHER_LICENSE}}],
                "purl": launcher_ref,
                "hashes": [{"alg": "SHA-256", "content": sha256(launcher)}],
                # The published launcher.exe is launcher-unsigned.exe, signed or not: the file a
                # rebuild from the tag reproduces is the unsigned one.
                "pedigree": {
                    "ancestors": [{
                        "type": "application",
                        "name": "launcher-unsigned.exe",
                        "version": version,
                        "hashes": [{"alg": "SHA-256", "content": sha256(unsigned)}],
                    }],
                    "notes": ("launcher.exe is launcher-unsigned.exe with an Authenticode signature"
                              if signed else "launcher.exe is not signed: it is launcher-unsigned.exe"),
                },
            },
        },
        "components": [{
            "type": "application",
            "bom-ref": check_ref,
            "supplier": supplier,
            "name": "launcher-check",
            "version": version,
            "description": "launcher-check.exe, which tells what launcher.exe would do on a machine, and why",
            "licenses": [{"license": {"id": LAUNCHER_LICENSE}}],
            "hashes": [{"alg": "SHA-256", "content": sha256(check)}],
        }] + libraries,
        "dependencies": [{"ref": launcher_ref, "dependsOn": holds["launcher.exe"]},
                         {"ref": check_ref, "dependsOn": holds["launcher-check.exe"]}]
                        + [{"ref": c["bom-ref"], "dependsOn": []} for c in libraries],
    }
    if tools:
        bom["formulation"] = [{"bom-ref": "toolchain", "components": tools}]
    # A serial number from the contents: the same release described again gets the same one.
    bom["serialNumber"] = f"urn:uuid:{uuid.uuid5(uuid.NAMESPACE_URL, json.dumps(bom, indent=2))}"
    with open(out_path, "w", encoding="utf-8", newline="\n") as f:
        f.write(json.dumps(bom, indent=2) + "\n")


def main(argv):
    command = argv[1] if len(argv) > 1 else ""
    if command == "notices" and len(argv) >= 4:
        notices(*argv[2:])
    elif command == "zip" and len(argv) == 5:
        make_zip(*argv[2:])
    elif command == "kit" and len(argv) == 5:
        make_kit(*argv[2:])
    elif command == "sbom" and len(argv) >= 12:
        make_sbom(*argv[2:12], argv[12:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
