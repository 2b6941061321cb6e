"""PE checks of the shipped binaries: x86 images load on Windows 2000, x64 images are PE32+ x86-64."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import checkresults  # noqa: E402
import pecheck  # noqa: E402

# Every x86 binary that ships, and whether it must exist yet. RuntimeProbe.exe is linked like the
# shipped programs and pulls in the parts of the MinGW runtime they use, so it always exists.
SHIPPED = [
    ("RuntimeProbe.exe", True),
    ("Marksman.exe", False),
    ("Setwell.exe", False),
    ("Fitment.dll", False),
    ("FrameworkSmoke.exe", False),
    ("Scribe.exe", False),
]


def find(tree, name):
    """Paths of <name> under <tree>, outside CMake's own folders."""
    found = []
    for root, dirs, files in os.walk(tree):
        dirs[:] = [d for d in dirs if d != "CMakeFiles" and d != "googletest"]
        if name in files:
            found.append(os.path.join(root, name))
    return sorted(found)


def run(args, results):
    allowed = pecheck.load_dll_list()
    denied = pecheck.load_api_list()
    for tree, arch in ((args.win32, "x86"), (args.win64, "x64")):
        suite = f"pe_{arch}"
        if not os.path.isdir(tree):
            results.record(f"{suite}.build-tree", False, f"no build tree at {tree}")
            continue
        for name, required in SHIPPED:
            paths = find(tree, name)
            if not paths:
                if required:
                    results.record(f"{suite}.{name}.exists", False, f"{name} not built in {tree}")
                else:
                    results.skip(f"{suite}.{name}.exists", f"{name} not built yet in {tree}")
                continue
            for path in paths:
                try:
                    info = pecheck.parse_file(path)
                except (OSError, pecheck.PeError) as e:
                    results.record(f"{suite}.{name}.readable", False, f"{path}: {e}")
                    continue
                checks = (pecheck.check_x86(info, allowed, denied) if arch == "x86"
                          else pecheck.check_x64(info))
                for check, ok, message in checks:
                    results.record(f"{suite}.{name}.{check}", ok, f"{path}: {message}" if message else "")


if __name__ == "__main__":
    sys.exit(checkresults.static_main(__file__, run))
