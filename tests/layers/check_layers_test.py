#!/usr/bin/env python3
"""The include-direction check passes on the repository and fails on planted faults."""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
CHECK = os.path.join(ROOT, 'scripts', 'check_layers.py')


def run(root):
    return subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)


def tree(files):
    folder = tempfile.mkdtemp()
    for path, text in files.items():
        os.makedirs(os.path.dirname(os.path.join(folder, path)), exist_ok=True)
        with open(os.path.join(folder, path), 'w') as out:
            out.write(text)
    return folder


failures = []
result = run(ROOT)
if result.returncode != 0:
    failures.append('the repository breaks the layers:\n' + result.stdout)
cases = [
    ({'store/a.cpp': '#include "app/main_dialog.h"\n'}, 1, 'an upward include'),
    ({'web/a.cpp': '#include "monitor/x.h"\n'}, 1, 'a sideways include between web and monitor'),
    ({'drive/a.cpp': '#include "platform/sim/simulated_machine.h"\n'}, 1, 'a machine chosen below cli'),
    ({'drive/a_test.cpp': '#include "platform/sim/simulated_machine.h"\n'}, 0, 'a test on the simulated machine'),
    ({'cli/a.cpp': '#include "platform/linux/x.h"\n#include "app/y.h"\n'}, 0, 'the command line'),
    ({'app/a.cpp': '#include "store/x.h"\n#include <vector>\n'}, 0, 'a downward include'),
]
for files, expected, label in cases:
    result = run(tree(files))
    if result.returncode != expected:
        failures.append('%s: exit %d, expected %d\n%s' % (label, result.returncode, expected, result.stdout))
for failure in failures:
    print('FAIL', failure)
print('%d of %d cases failed' % (len(failures), len(cases) + 1))
sys.exit(1 if failures else 0)
