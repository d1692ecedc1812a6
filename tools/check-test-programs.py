#!/usr/bin/env python3
"""Every program the tests started comes from the set-up's packages.

Usage: check-test-programs.py <programs file> <packages.txt> <source tree>

The programs file holds one path a line, as the shared test support noted them
(tests/support/test_display.py, test_display.sh, tests/common/child_process.h).
A program passes when the Debian package holding it (dpkg -S) is one that
packages.txt names, one of their dependencies (Depends, Pre-Depends, whatever
installed package provides a virtual one, any installed alternative), or an
essential package every Debian system has. The project's own programs pass:
those in the source tree or a build of it, and whatever lies outside the
system's folders (/usr, /bin, /sbin, /lib, /opt), where only the build and the
tests put programs (a test copies a built program into a temporary folder). Each one that does not is named with the
package to add; the exit code is then 1.
"""
import os
import re
import subprocess
import sys

# The folders a fresh Debian machine runs programs from; a program found
# elsewhere (a local stand-in earlier on PATH) is judged by the one of the same
# name in these, which is what the fresh machine starts.
SYSTEM_FOLDERS = ["/usr/bin", "/usr/sbin", "/bin", "/sbin", "/usr/lib/wine"]


def installed_packages():
    """{name: (provides, depends, essential)} for every installed package, keyed by
    the name and name:architecture."""
    out = subprocess.run(["dpkg-query", "-W", "-f", "${Package}\t${Architecture}\t${Essential}\t${Provides}\t"
                          "${Depends}, ${Pre-Depends}\t${db:Status-Status}\n"],
                         capture_output=True, text=True, check=True).stdout
    packages = {}
    for line in out.splitlines():
        name, arch, essential, provides, depends, status = line.split("\t")
        if status != "installed":
            continue
        entry = ([p.split()[0].split(":")[0] for p in provides.split(",") if p.strip()],
                 [[a.split()[0] for a in d.split("|") if a.strip()] for d in depends.split(",") if d.strip()],
                 essential == "yes", arch)
        packages[name + ":" + arch] = entry
        packages.setdefault(name, entry)
    return packages


def closure(roots, packages):
    """The installed packages the roots bring, with everything they depend on."""
    providers = {}
    for key, (provides, _, _, arch) in packages.items():
        if ":" in key:
            for virtual in provides:
                providers.setdefault(virtual, set()).add(key.split(":")[0])
    seen = set()
    todo = list(roots)
    while todo:
        name = todo.pop()
        base = name.split(":")[0]
        if name in seen or name not in packages:
            continue
        seen.add(name)
        seen.add(base)
        for alternatives in packages[name][1]:
            for alternative in alternatives:
                qualifier = alternative.split(":")
                candidate = qualifier[0] if len(qualifier) == 1 or qualifier[1] == "any" else alternative
                todo.append(candidate)
                todo.extend(providers.get(qualifier[0], ()))
    return seen


def owner(path):
    """The package holding the file, trying it as named and through its links."""
    tries = [path, os.path.realpath(path)]
    for folder in ("/usr/bin", "/usr/sbin", "/usr/lib"):  # a merged /usr knows some files by their /bin name
        for p in list(tries):
            if p.startswith(folder + "/"):
                tries.append(p[len("/usr"):])
    for p in tries:
        result = subprocess.run(["dpkg", "-S", p], capture_output=True, text=True)
        if result.returncode == 0:
            line = result.stdout.splitlines()[0]
            if not line.startswith("diversion by"):
                return line.split(": ")[0].split(",")[0].strip()
    return None


def main():
    programs_file, packages_file, tree = sys.argv[1:4]
    listed = [line.split("#")[0].strip() for line in open(packages_file)]
    listed = [p for p in listed if p]
    packages = installed_packages()
    essential = [name for name, entry in packages.items() if entry[2]]
    allowed = closure(listed + essential, packages)
    ours = [os.path.realpath(tree)]
    system_folders = ("/usr/", "/bin/", "/sbin/", "/lib", "/opt/")
    programs = sorted({line.strip() for line in open(programs_file) if line.strip()}) if os.path.exists(
        programs_file) else []
    problems = []
    for program in programs:
        path = os.path.realpath(program)
        if any(path == o or path.startswith(o + "/") for o in ours) or not os.path.isabs(program):
            continue
        if not program.startswith(system_folders) and not path.startswith(system_folders):
            continue
        package = owner(program)
        if package is None:
            name = os.path.basename(program)
            system = [os.path.join(f, name) for f in SYSTEM_FOLDERS if os.path.exists(os.path.join(f, name))]
            package = next((p for p in map(owner, system) if p), None)
        if package is None:
            problems.append("%s: from no Debian package; the tests must start a packaged program" % program)
        elif package not in allowed and package.split(":")[0] not in allowed:
            problems.append("%s: from the package %s, which tools/packages.txt does not install: add %s"
                            % (program, package, package.split(":")[0]))
    for problem in problems:
        print("FAIL: a program the tests started: " + problem)
    print("programs the tests started: %d, each from the set-up's packages: %s"
          % (len(programs), "no" if problems else "yes"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
