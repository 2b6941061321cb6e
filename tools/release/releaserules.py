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
BLOCK, BLOCK_EN = "080404b0", "040904b0"


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
    expected = {"ProductVersion": shipped.VERSION, "FileVersion": shipped.VERSION, "CompanyName": "Qelvo",
                "OriginalFilename": name, "InternalName": os.path.splitext(name)[0], "FileDescription": description}
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
    levels = [level for ns in (ASM_V2, ASM_V3) for level in root.findall(
        "{0}trustInfo/{0}security/{0}requestedPrivileges/{0}requestedExecutionLevel".format("{%s}" % ns))]
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


# What a Windows Installer package must hold, as (table, key column, key, {column: value}) rows
# for one architecture and version (a value may be a test of the column's text); the texts are
# the ones the package must read back exactly.
def package_rows(arch, version):
    x64 = arch == "x64"
    other = "x86" if x64 else "x64"
    rows = [
        ("Property", "Property", "ALLUSERS", {"Value": "1"}),
        ("Property", "Property", "ProductName", {"Value": "Qelvo Touch"}),
        ("Property", "Property", "Manufacturer", {"Value": "Qelvo"}),
        ("Property", "Property", "ProductVersion", {"Value": version}),
        ("Property", "Property", "UpgradeCode", {"Value": shipped.UPGRADE_CODE}),
        ("Property", "Property", "ProductCode", {"Value": shipped.product_code(arch, version)}),
        ("Property", "Property", "ARPNOMODIFY", {"Value": "1"}),
        ("Property", "Property", "ARPPRODUCTICON", {"Value": "Setwell.exe"}),
        ("Directory", "Directory", shipped.INSTALL_FOLDER[arch], {"Directory_Parent": "TARGETDIR"}),
        ("Directory", "Directory", "QelvoFolder", {"Directory_Parent": shipped.INSTALL_FOLDER[arch],
                                                   "DefaultDir": "Qelvo"}),
        ("Directory", "Directory", "INSTALLDIR", {"Directory_Parent": "QelvoFolder", "DefaultDir": "Touch"}),
        ("Directory", "Directory", "MenuFolder", {"Directory_Parent": "ProgramMenuFolder",
                                                  "DefaultDir": shipped.MENU_FOLDER}),
        ("LaunchCondition", "Condition", "VersionNT >= 500",
         {"Description": "Qelvo Touch needs Windows 2000 or later."}),
        ("LaunchCondition", "Condition", "VersionNT64" if x64 else "NOT VersionNT64",
         {"Description": "This package is for %s Windows. Install %s on this computer instead."
                         % ("64-bit" if x64 else "32-bit", shipped.package_name(other, version))}),
        ("LaunchCondition", "Condition", "NOT WIX_DOWNGRADE_DETECTED",
         {"Description": "A newer version of Qelvo Touch is already installed. "
                         "Uninstall it first to install this older version."}),
        # The folder of an earlier install: written, searched (64-bit view on x64) and used.
        ("Registry", "Name", "InstallDir", {"Root": "2", "Key": "Software\\Qelvo\\Touch", "Value": "[INSTALLDIR]"}),
        ("RegLocator", "Name", "InstallDir", {"Root": "2", "Key": "Software\\Qelvo\\Touch",
                                              "Type": "18" if x64 else "2"}),
        # Type 51 sets a property (wixl adds 2048, no-impersonate, which an immediate action ignores).
        ("CustomAction", "Target", "[QELVO_REMEMBERED_DIR]", {"Type": lambda t: int(t or 0) & 63 == 51,
                                                              "Source": "INSTALLDIR"}),
        ("RemoveFile", "DirProperty", "INSTALLDIR", {"InstallMode": "2"}),
        ("RemoveFile", "DirProperty", "QelvoFolder", {"InstallMode": "2"}),
        ("RemoveFile", "DirProperty", "MenuFolder", {"InstallMode": "2"}),
    ]
    for name, program in shipped.SHORTCUTS:
        rows.append(("Shortcut", "Name", name, {"Directory_": "MenuFolder", "Target": "[INSTALLDIR]" + program,
                                                "WkDir": "INSTALLDIR", "Arguments": ""}))
    return rows


def sequence_problems(tables, sequence):
    """The remembered folder is taken after AppSearch and before costing, only when not given."""
    order = {r["Action"]: (int(r["Sequence"]), r.get("Condition", "")) for r in tables.get(sequence, [])}
    use = order.get("UseRememberedDir")
    if use is None:
        return ["%s does not run UseRememberedDir" % sequence]
    problems = []
    if not order.get("AppSearch", (10 ** 6,))[0] < use[0] < order.get("CostFinalize", (0,))[0]:
        problems.append("%s runs UseRememberedDir at %d, not between AppSearch and CostFinalize" % (sequence, use[0]))
    if use[1] != "QELVO_REMEMBERED_DIR AND NOT INSTALLDIR":
        problems.append("%s runs UseRememberedDir under %r" % (sequence, use[1]))
    return problems


def package_problems(summary, tables, arch, version):
    """Everything wrong with a package's summary and tables, as a list of messages.

    summary: {field: text} as `msiinfo suminfo` prints it; tables: {table: [{column: value}]}."""
    problems = []
    template = summary.get("Template", "")
    if template != ("x64" if arch == "x64" else "Intel") + ";1033":
        problems.append("platform (Template) %r" % template)
    if summary.get("Version", "").split()[:1] != ["200"]:
        problems.append("schema (Version) %r, expected 200" % summary.get("Version"))
    if summary.get("Source", "").split()[:1] != ["2"]:
        problems.append("word count (Source) %r, expected 2: long names, compressed" % summary.get("Source"))
    if summary.get("Subject") != "Qelvo Touch %s (%s)" % (version, arch):
        problems.append("Subject %r" % summary.get("Subject"))
    for table, key, value, columns in package_rows(arch, version):
        matches = [r for r in tables.get(table, []) if r.get(key) == value]
        if len(matches) != 1:
            problems.append("%s: %d rows with %s %r, expected 1" % (table, len(matches), key, value))
            continue
        for column, expected in columns.items():
            found = matches[0].get(column, "")
            if (not expected(found)) if callable(expected) else found != expected:
                problems.append("%s %r: %s is %r, expected %r" % (table, value, column, matches[0].get(column), expected))
    if tables.get("_ForceCodepage") != [{"Codepage": shipped.CODEPAGE}]:
        problems.append("database code page %s, expected %s (the shortcuts' Chinese names)"
                        % (tables.get("_ForceCodepage"), shipped.CODEPAGE))
    shortcuts = tables.get("Shortcut", [])
    if len(shortcuts) != len(shipped.SHORTCUTS):
        problems.append("%d shortcuts, expected %d" % (len(shortcuts), len(shipped.SHORTCUTS)))
    components = {r["Component"]: r for r in tables.get("Component", [])}
    for row in tables.get("File", []):
        component = components.get(row["Component_"], {})
        if component.get("Directory_") != "INSTALLDIR":
            problems.append("%s is not installed into INSTALLDIR" % row["FileName"])
    for name, component in components.items():
        if bool(int(component.get("Attributes") or 0) & 256) != (arch == "x64"):
            problems.append("component %s has attributes %s: 64-bit flag wrong for %s" % (name, component.get("Attributes"), arch))
    upgrades = tables.get("Upgrade", [])
    replace = [r for r in upgrades if r.get("VersionMax") == version and not r.get("VersionMin")]
    refuse = [r for r in upgrades if r.get("VersionMin") == version and not r.get("VersionMax")]
    if len(upgrades) != 2 or len(replace) != 1 or len(refuse) != 1:
        problems.append("Upgrade rows %s: expected one replacing versions below %s and one detecting later ones"
                        % (upgrades, version))
    else:
        # Attributes: 2 = only detect, 256 = minimum inclusive, 512 = maximum inclusive.
        if int(replace[0]["Attributes"]) & (2 | 512) or replace[0]["ActionProperty"] != "WIX_UPGRADE_DETECTED":
            problems.append("upgrade row %s must remove earlier versions only" % replace[0])
        if int(refuse[0]["Attributes"]) & (2 | 256) != 2 or refuse[0]["ActionProperty"] != "WIX_DOWNGRADE_DETECTED":
            problems.append("downgrade row %s must only detect later versions" % refuse[0])
        for row in upgrades:
            if row.get("UpgradeCode") != shipped.UPGRADE_CODE:
                problems.append("upgrade row with code %s" % row.get("UpgradeCode"))
    execute = {r["Action"]: int(r["Sequence"]) for r in tables.get("InstallExecuteSequence", [])}
    if not execute.get("InstallValidate", 10 ** 6) < execute.get("RemoveExistingProducts", 0) < execute.get("InstallInitialize", 0):
        problems.append("RemoveExistingProducts is not between InstallValidate and InstallInitialize: %s"
                        % execute.get("RemoveExistingProducts"))
    problems += sequence_problems(tables, "InstallExecuteSequence")
    problems += sequence_problems(tables, "InstallUISequence")
    return problems
