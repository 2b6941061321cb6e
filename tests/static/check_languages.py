#!/usr/bin/env python3
"""The two faces of every program, in each Windows tree: Chinese (Simplified, 0x0804) and English
(United States, 0x0409). For each of Marksman.exe, Setwell.exe and Scribe.exe: the same string ids
and dialog templates in both languages; in each template pair the same dialog styles and the same
controls (ids, classes, styles, which of them have a text); the English font "MS Shell Dlg" 8, the
Chinese "宋体" 10; in each string pair the same printf conversions, and a text that the program
follows with a system error text ends with a colon in both. English texts stay within code page
1252, so that a Western Windows without East Asian fonts shows them."""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "release"))

import checkresults  # noqa: E402
import peres  # noqa: E402
import shipped  # noqa: E402

ZH, EN = peres.LANG_ZH_CN, peres.LANG_EN_US
DS_SETFONT = 0x40

# Per program: the string ids the texts of system errors or codes follow directly; whether it has
# dialog templates (Scribe draws its window itself).
PROGRAMS = {
    "Marksman.exe": dict(followed=(4, 5, 6, 11, 12, 18), dialogs=True),
    "Setwell.exe": dict(followed=(), dialogs=True),
    "Scribe.exe": dict(followed=(), dialogs=False),
}


def western(text):
    try:
        text.encode("cp1252")
        return True
    except UnicodeEncodeError:
        return False


def text_kind(text):
    """How a template text compares across languages: an ordinal as itself, text or no text."""
    if isinstance(text, int):
        return text
    return bool(text)


def check_dialog_pair(c, did, zh, en):
    c.expect(zh["style"] == en["style"] and zh["exstyle"] == en["exstyle"],
             "dialog %d: styles 0x%08x/0x%08x in Chinese, 0x%08x/0x%08x in English"
             % (did, zh["style"], zh["exstyle"], en["style"], en["exstyle"]))
    c.expect(zh["style"] & DS_SETFONT and (zh["typeface"], zh["pointsize"]) == ("宋体", 10),
             "dialog %d: Chinese font %r %r" % (did, zh["typeface"], zh["pointsize"]))
    c.expect(en["style"] & DS_SETFONT and (en["typeface"], en["pointsize"]) == ("MS Shell Dlg", 8),
             "dialog %d: English font %r %r" % (did, en["typeface"], en["pointsize"]))
    c.expect(bool(zh["caption"]) == bool(en["caption"]), "dialog %d: caption %r against %r"
             % (did, zh["caption"], en["caption"]))
    c.expect(western(en["caption"]), "dialog %d: English caption %r" % (did, en["caption"]))
    c.expect(len(zh["controls"]) == len(en["controls"]), "dialog %d: %d controls in Chinese, %d in English"
             % (did, len(zh["controls"]), len(en["controls"])))
    for i, (a, b) in enumerate(zip(zh["controls"], en["controls"])):
        where = "dialog %d control #%d (id %d)" % (did, i, a["id"])
        c.expect(a["id"] == b["id"], "%s: id %d in English" % (where, b["id"]))
        c.expect(str(a["class"]).lower() == str(b["class"]).lower(), "%s: class %r against %r"
                 % (where, a["class"], b["class"]))
        c.expect(a["style"] == b["style"] and a["exstyle"] == b["exstyle"],
                 "%s: style 0x%08x/0x%08x against 0x%08x/0x%08x"
                 % (where, a["style"], a["exstyle"], b["style"], b["exstyle"]))
        c.expect(text_kind(a["text"]) == text_kind(b["text"]), "%s: text %r against %r"
                 % (where, a["text"], b["text"]))
        c.expect(not isinstance(b["text"], str) or western(b["text"]), "%s: English text %r" % (where, b["text"]))


def check_string_pairs(c, zh, en, followed):
    c.expect(sorted(zh) == sorted(en), "string ids: only Chinese %s, only English %s"
             % (sorted(set(zh) - set(en)), sorted(set(en) - set(zh))))
    for sid in sorted(set(zh) & set(en)):
        a, b = zh[sid], en[sid]
        c.expect(peres.conversions(a) == peres.conversions(b), "string %d: conversions %r against %r"
                 % (sid, peres.conversions(a), peres.conversions(b)))
        c.expect(western(b) and b.strip(), "string %d: English text %r" % (sid, b))
        c.expect(a.count("\n") == b.count("\n"), "string %d: %d lines against %d"
                 % (sid, a.count("\n") + 1, b.count("\n") + 1))
        if sid in followed:
            c.expect(a.rstrip()[-1:] in (":", "：") and b.endswith(": "),
                     "string %d is followed by a system text: %r / %r should end with a colon" % (sid, a, b))


def check_program(results, label, path, followed, dialogs):
    res = peres.PEResources(path)
    templates = peres.dialogs_by_language(res)
    with results.case("%s.Dialogs" % label) as c:
        c.expect(bool(templates) == dialogs, "%d dialog templates" % len(templates))
        for did, langs in sorted(templates.items()):
            c.expect(sorted(langs) == sorted((ZH, EN)), "dialog %d in languages %s"
                     % (did, ["0x%04x" % lang for lang in sorted(langs)]))
    for did, langs in sorted(templates.items()):
        if ZH in langs and EN in langs:
            with results.case("%s.Dialog%d" % (label, did)) as c:
                check_dialog_pair(c, did, langs[ZH], langs[EN])
    with results.case("%s.Strings" % label) as c:
        zh, en = peres.string_table(res, ZH), peres.string_table(res, EN)
        c.expect(zh and en, "strings: %d Chinese, %d English" % (len(zh), len(en)))
        other = set(peres.string_table(res)) - set(zh) - set(en)
        c.expect(not other, "strings in neither language: %s" % sorted(other))
        check_string_pairs(c, zh, en, followed)


def run(args, results):
    for tree, arch in ((args.win32, "x86"), (args.win64, "x64")):
        for name, rules in PROGRAMS.items():
            label = "languages_%s.%s" % (arch, os.path.splitext(name)[0])
            paths = shipped.find(tree, name) if os.path.isdir(tree) else []
            if results.record("%s.Built" % label, bool(paths), "%s is not built in %s" % (name, tree)):
                check_program(results, label, paths[0], rules["followed"], rules["dialogs"])


if __name__ == "__main__":
    sys.exit(checkresults.static_main(__file__, run))
