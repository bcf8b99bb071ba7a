#!/usr/bin/env python3
"""The generated files of a release, from what was actually built. Standard library only, and
deterministic: the same inputs give the same bytes.

    release_files.py notices LINK_MAP OUT        THIRD-PARTY-NOTICES.txt (the release target)

launcher.exe is linked statically, so parts of the toolchain's runtime end up inside it. The link
map names every archive member and object file the linker took; each of them belongs to a Debian
package, whose name, version and copyright file (/usr/share/doc/PACKAGE/copyright) the notices give.
"""

import os
import re
import shutil
import subprocess
import sys
import textwrap

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
FIELDS = ("Component", "Version", "License", "Package URL", "Debian package", "Linked in", "Notice")


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


def owning_packages(paths):
    """{path: Debian package}, through dpkg's database."""
    if not shutil.which("dpkg"):
        fail("no dpkg here: THIRD-PARTY-NOTICES.txt names the Debian package each linked file came "
             "from, so releases are made on Debian 12 (see the README, \"Releases\")")
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
            fail(f"no Debian package installed {path}, which launcher.exe links: its license is unknown")
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


def notices(map_path, out_path):
    files = linked_files(map_path)
    owners = owning_packages(sorted(files))
    namespace, distro_qualifier = distro()
    by_package = {}
    for path, package in owners.items():
        by_package.setdefault(package, {})[path] = files[path]

    lines = [
        "Third-party software in launcher.exe",
        "=" * 36,
        "",
        "launcher.exe is linked statically: besides the Sorvane launcher's own code (MIT license,",
        "see LICENSE.txt) it holds the parts of the software below that its link took, and nothing",
        "else. Each entry names the component, the Debian package it was linked from with that",
        "package's version, and its license. Where the license asks that a binary carry its notice,",
        "the package's copyright file follows the entry in full.",
        "",
        "Archives named after a Windows DLL (libkernel32.a for KERNEL32.dll) are import libraries:",
        "what they add is the small stubs through which launcher.exe calls that DLL, part of Windows.",
    ]
    for package in sorted(by_package):
        name, version, architecture, source = package_details(package)
        source = source or name
        if source not in KNOWN_SOURCES:
            fail(f"{package} (from the source package {source}) is linked into launcher.exe but "
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
        notice = no_notice or f"its license asks for it: {copyright_path} follows in full."
        values = (component, version, expression,
                  purl(namespace, name, version, arch=architecture, distro=distro_qualifier),
                  f"{name} {version} ({architecture}), from the source package {source}",
                  describe_linked(by_package[package]), notice)
        lines += ["", RULE]
        for label, value in zip(FIELDS, values):
            lines += field(label, value)
        if not no_notice:
            lines += ["", *copyright_text.rstrip("\n").split("\n")]
    text = "\r\n".join(lines) + "\r\n"
    # UTF-8 with a byte order mark, so that any Notepad shows the copyright holders' names right.
    with open(out_path, "w", encoding="utf-8-sig", newline="") as f:
        f.write(text)


def main(argv):
    command = argv[1] if len(argv) > 1 else ""
    if command == "notices" and len(argv) == 4:
        notices(*argv[2:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
