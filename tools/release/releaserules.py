"""The rules a shipped binary's version resource and manifest must meet, as lists of problems;
shared by tests/static/check_version.py and tests/static/check_release.py."""

import os
import re
import xml.etree.ElementTree as ET

import shipped

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V2 = "urn:schemas-microsoft-com:asm.v2"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
WINDOWS_SETTINGS = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
CJK = re.compile("[\u4e00-\u9fff]")
BLOCK = "080404b0"


BLOCK_EN = "040904b0"


def version_problems(info, name, description, english=None):
    """What is wrong with the version resource of <name>, as a list of messages. <english>, when
    given, is the description the English block must carry beside the Chinese one."""
    problems = []
    if info.fixed_version != (3, 0, 0, 0):
        problems.append("FILEVERSION %s, expected 3,0,0,0" % (info.fixed_version,))
    if info.fixed_product != (3, 0, 0, 0):
        problems.append("PRODUCTVERSION %s, expected 3,0,0,0" % (info.fixed_product,))
    problems += _block_problems(info, name, BLOCK, 0x0804, description)
    table = info.strings.get(BLOCK)
    if table is not None and not CJK.search(table.get("FileDescription", "")):
        problems.append("FileDescription has no Chinese text")
    if english is not None:
        problems += _block_problems(info, name, BLOCK_EN, 0x0409, english)
        table = info.strings.get(BLOCK_EN)
        if table is not None and any(ord(ch) > 0x7E for text in table.values() for ch in text):
            problems.append("block %s has text outside ASCII: %r" % (BLOCK_EN, table))
    return problems


def _block_problems(info, name, block, language, description):
    problems = []
    if (language, 1200) not in info.translations:
        problems.append("Translation %s lacks 0x%04x, 1200" % (info.translations, language))
    table = info.strings.get(block)
    if table is None:
        problems.append("no string block %s (blocks: %s)" % (block, sorted(info.strings)))
        return problems
    expected = {
        "ProductVersion": shipped.VERSION,
        "FileVersion": shipped.VERSION,
        "CompanyName": "Qelvo",
        "OriginalFilename": name,
        "InternalName": os.path.splitext(name)[0],
        "FileDescription": description,
    }
    for key, value in expected.items():
        if table.get(key) != value:
            problems.append("%s: %s is %r, expected %r" % (block, key, table.get(key), value))
    for key in ("ProductName", "LegalCopyright"):
        if not table.get(key, "").strip():
            problems.append("%s: %s is empty" % (block, key))
    return problems


def manifest_problems(data):
    """What is wrong with a program's manifest, as a list of messages."""
    try:
        root = ET.fromstring(data)
    except ET.ParseError as e:
        return ["not well-formed XML: %s" % e]
    problems = []
    if root.tag != "{%s}assembly" % ASM_V1:
        problems.append("root element %s, expected the asm.v1 assembly" % root.tag)
    levels = []
    for ns in (ASM_V2, ASM_V3):
        path = ("{%s}trustInfo/{%s}security/{%s}requestedPrivileges/{%s}requestedExecutionLevel"
                % (ns, ns, ns, ns))
        levels += root.findall(path)
    if len(levels) != 1:
        problems.append("%d requestedExecutionLevel elements under trustInfo (asm.v2/v3)" % len(levels))
    for level in levels:
        if level.get("level") != "requireAdministrator" or level.get("uiAccess") != "false":
            problems.append("requestedExecutionLevel %s" % level.attrib)
    if root.find("{%s}trustInfo" % ASM_V3) is not None:
        problems.append("trustInfo in the asm.v3 namespace: Windows XP before SP3 may refuse it")
    aware = root.findall("{%s}application/{%s}windowsSettings/{%s}dpiAware" % (ASM_V3, ASM_V3, WINDOWS_SETTINGS))
    if len(aware) != 1 or (aware[0].text or "").strip().lower() != "true":
        problems.append("no dpiAware true in asm.v3 application/windowsSettings")
    for identity in root.iter("{%s}assemblyIdentity" % ASM_V1):
        if identity.get("name", "").lower() == "microsoft.windows.common-controls":
            problems.append("depends on Common Controls 6: the classic look is lost")
    if root.find("{%s}dependency" % ASM_V1) is not None:
        problems.append("has a dependency element")
    return problems


def binary_problems(info, name, description, program, arch, english=None):
    """Everything wrong with one shipped binary: machine, version resource, manifest."""
    problems = []
    if info.machine != arch:
        problems.append("machine %s, expected %s" % (info.machine, arch))
    problems += version_problems(info, name, description, english)
    if not program:
        if info.manifests:
            problems.append("a library carries no manifest, found %s" % sorted(info.manifests))
        return problems
    if list(info.manifests) != [(1, 0)]:
        problems.append("manifests %s, expected one with id 1, language neutral" % sorted(info.manifests))
    for data in info.manifests.values():
        problems += manifest_problems(data)
    return problems
