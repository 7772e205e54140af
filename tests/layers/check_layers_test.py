#!/usr/bin/env python3
"""The include-direction check passes on the repository and fails on planted faults."""
import os, subprocess, sys, tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
cases = [  # (files of a tree, exit code of the check, what)
    (None, 0, 'the repository itself'),  # tests on the simulated machine, cli on linux/ and app/
    ({'store/a.cpp': '#include "app/main_dialog.h"\n'}, 1, 'an upward include'),
    ({'web/a.cpp': '#include "monitor/x.h"\n'}, 1, 'a sideways include between web and monitor'),
    ({'drive/a.cpp': '#include "platform/sim/simulated_machine.h"\n'}, 1, 'a machine chosen below cli'),
]
failures = 0
for files, expected, label in cases:
    with tempfile.TemporaryDirectory() as folder:
        for path, text in (files or {}).items():
            os.makedirs(os.path.dirname(os.path.join(folder, path)), exist_ok=True)
            open(os.path.join(folder, path), 'w').write(text)
        result = subprocess.run([sys.executable, os.path.join(ROOT, 'scripts', 'check_layers.py'),
                                 folder if files else ROOT], capture_output=True, text=True)
    if result.returncode != expected:
        failures += 1
        print('FAIL %s: exit %d, expected %d\n%s' % (label, result.returncode, expected, result.stdout))
print('%d of %d cases failed' % (failures, len(cases)))
sys.exit(1 if failures else 0)
