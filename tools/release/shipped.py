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


def folder_name(arch, version=VERSION):
    """The one folder inside the archive that holds everything."""
    return "qelvo-touch-%s-%s" % (version, arch)


def archive_name(arch):
    return folder_name(arch) + ".zip"


def package_name(arch, version=VERSION):
    """The Windows Installer package beside the archive."""
    return folder_name(arch, version) + ".msi"


# The package's folder and Start-menu entries: (shortcut name, program), named as the programs'
# version resources describe them. wixl cannot write non-ASCII texts, so makemsi.py writes these
# names into the built package (Shortcut table, database code page 936).
INSTALL_FOLDER = {"x86": "ProgramFilesFolder", "x64": "ProgramFiles64Folder"}
MENU_FOLDER = "Qelvo Touch"
CODEPAGE = "936"
SHORTCUTS = [
    ("Qelvo 触摸屏设置程序", "Setwell.exe"),
    ("Qelvo 触摸屏校准程序", "Marksman.exe"),
    ("Qelvo 触摸屏划线测试程序", "Scribe.exe"),
]
UPGRADE_CODE = "{6F0F5C39-5C8E-4E0B-9B36-1C5B2A0D7E41}"


def product_code(arch, version=VERSION):
    """The package's ProductCode: the same for every build of one version and architecture."""
    import uuid
    return "{%s}" % str(uuid.uuid5(uuid.UUID(UPGRADE_CODE), folder_name(arch, version))).upper()


def find(tree, name):
    """Paths of <name> under a build tree, outside CMake's own folders and test copies."""
    found = []
    for root, dirs, files in os.walk(tree):
        dirs[:] = [d for d in dirs if d not in ("CMakeFiles", "googletest", "x86emu", "wine", "release")]
        if name in files:
            found.append(os.path.join(root, name))
    return sorted(found)
