#!/usr/bin/env python3
"""Include-direction check: every source file includes only from its own folder or a
lower layer, and only the command line chooses the real or the simulated machine.

Layers, lowest first (folders of one rank may not include each other):
  text -> platform -> store, sheet -> drive -> pages -> monitor, web -> app -> cli
The mailer program sits on text and platform. Test support (tests/, bench/, fuzz/, tools/)
may include anything. Exits 1 and names each offending line when a rule is broken.

usage: check_layers.py [ROOT]   (default: the repository this script lives in)
"""
import os
import re
import sys

RANK = {'text': 0, 'platform': 1, 'store': 2, 'sheet': 2, 'mailer': 2, 'drive': 3, 'pages': 4,
        'monitor': 5, 'web': 5, 'app': 6, 'cli': 7}
# Only these folders may include the machine implementations directly; test files may too.
MACHINE_CHOOSERS = ('platform', 'cli')
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/([^"]+)"')


def is_test(name):
    return name.endswith(('_test.cpp', '_test.h')) or 'test' in name.split('.')[0].split('_')


def problems(root):
    found = []
    for folder in sorted(RANK):
        base = os.path.join(root, folder)
        for directory, _, files in os.walk(base):
            for name in sorted(files):
                if not name.endswith(('.cpp', '.h', '.cc', '.hpp')):
                    continue
                path = os.path.join(directory, name)
                with open(path, encoding='utf-8', errors='replace') as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target, rest = match.group(1), match.group(2)
                        where = '%s:%d: %s' % (os.path.relpath(path, root), number, line.strip())
                        if target in RANK and target != folder and RANK[target] >= RANK[folder]:
                            found.append(where + '  (%s may not include from %s)' % (folder, target))
                        elif (target == 'platform' and rest.startswith(('linux/', 'sim/'))
                              and folder not in MACHINE_CHOOSERS and not is_test(name)):
                            found.append(where + '  (only the command line chooses the machine)')
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    found = problems(root)
    for line in found:
        print(line)
    if found:
        print('layer check: %d include(s) against the direction of the layers' % len(found))
        return 1
    print('layer check: every include goes down the layers')
    return 0


if __name__ == '__main__':
    sys.exit(main())
