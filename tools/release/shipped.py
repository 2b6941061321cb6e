"""What a release ships: the binaries of each architecture, the notes beside them, the version."""

import os

VERSION = "3.0.0"
ARCHES = ("x86", "x64")

# (file, description in its version resource, is a program with an application manifest)
BINARIES = [
    ("Marksman.exe", "Qelvo 触摸屏校准程序", True),
    ("Setwell.exe", "Qelvo 触摸屏设置程序", True),
    ("Scribe.exe", "Qelvo 触摸屏划线测试程序", True),
    ("Fitment.dll", "Qelvo 触摸屏驱动安装辅助库", False),
]

# The description in each binary's English version block.
ENGLISH_DESCRIPTIONS = {
    "Marksman.exe": "Qelvo Touch Screen Calibration",
    "Setwell.exe": "Qelvo Touch Screen Settings",
    "Scribe.exe": "Qelvo Touch Screen Line Test",
    "Fitment.dll": "Qelvo Touch Screen Driver Installation Helper",
}

# Files of release/ copied beside the binaries, as they are named in the archive.
NOTES = ["README-CN.txt", "README-EN.txt", "example-coinstaller.inf"]


def archive_name(arch):
    return "qelvo-touch-%s-%s.zip" % (VERSION, arch)


def folder_name(arch):
    """The one folder inside the archive that holds everything."""
    return "qelvo-touch-%s-%s" % (VERSION, arch)


def find(tree, name):
    """Paths of <name> under a build tree, outside CMake's own folders and test copies."""
    found = []
    for root, dirs, files in os.walk(tree):
        dirs[:] = [d for d in dirs if d not in ("CMakeFiles", "googletest", "x86emu", "wine", "release")]
        if name in files:
            found.append(os.path.join(root, name))
    return sorted(found)
