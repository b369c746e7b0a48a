#!/usr/bin/env python3
"""Every quoted include of the C++ sources names its file by the path from the repository root,
so that a reader, a search or a tool without the build finds it ("hal/src/identity.hpp"). A path
relative to the including file, or one that only the build makes exist, is refused."""
import os
import re
import subprocess
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def main() -> int:
    root = os.environ.get("VANTREL_SOURCE_DIR") or os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    listed = subprocess.run(["git", "-C", root, "ls-files", "*.cpp", "*.hpp", "*.h"],
                            capture_output=True, text=True, check=True).stdout.split()
    if not listed:
        print("aucun source C++ trouvé sous", root, file=sys.stderr)
        return 1
    faults = []
    for source in listed:
        with open(os.path.join(root, source), encoding="utf-8") as file:
            text = file.read()
        for included in INCLUDE.findall(text):
            if ".." in included.split("/") or not os.path.isfile(os.path.join(root, included)):
                line = text[:text.index(f'"{included}"')].count("\n") + 1
                faults.append(f"{source}:{line}: \"{included}\" is not a path from the repository root")
    for fault in faults:
        print(fault, file=sys.stderr)
    print(f"{len(listed)} sources, {len(faults)} includes that are not paths from the root")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
