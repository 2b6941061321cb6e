#!/usr/bin/env python3
"""Version resources and application manifests of the shipped binaries in both Windows trees.
Every shipped binary must be built (a missing one fails); each carries product and file version
3.0.0 in a Chinese (Simplified) Unicode block with a Chinese description and in an English one
with an English description; the programs carry a
manifest that asks for an administrator and DPI awareness in the forms Windows 2000 and XP
ignore, without Common Controls 6; the library carries none."""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "release"))

import checkresults  # noqa: E402
import peimage  # noqa: E402
import releaserules  # noqa: E402
import shipped  # noqa: E402


def run(args, results):
    for tree, arch in ((args.win32, "x86"), (args.win64, "x64")):
        suite = "version_%s" % arch
        for name, description, program in shipped.BINARIES:
            paths = shipped.find(tree, name) if os.path.isdir(tree) else []
            if not results.record("%s.%s.Built" % (suite, name), bool(paths),
                                  "%s is not built in %s" % (name, tree)):
                continue
            for path in paths:
                with open(path, "rb") as f:
                    info = peimage.version_info(f.read())
                with results.case("%s.%s.VersionResource" % (suite, name)) as c:
                    c.expect(info.machine == arch, "%s: machine %s" % (path, info.machine))
                    for problem in releaserules.version_problems(
                            info, name, description, shipped.ENGLISH_DESCRIPTIONS[name]):
                        c.fail("%s: %s" % (path, problem))
                with results.case("%s.%s.Manifest" % (suite, name)) as c:
                    if not program:
                        c.expect(not info.manifests, "%s: a library carries no manifest, found %s"
                                 % (path, sorted(info.manifests)))
                        continue
                    c.expect(list(info.manifests) == [(1, 0)],
                             "%s: manifests %s, expected one with id 1, language neutral"
                             % (path, sorted(info.manifests)))
                    for data in info.manifests.values():
                        for problem in releaserules.manifest_problems(data):
                            c.fail("%s: %s" % (path, problem))


if __name__ == "__main__":
    sys.exit(checkresults.static_main(__file__, run))
