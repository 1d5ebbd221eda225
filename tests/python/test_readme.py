"""The README's example, run as printed against the simulator."""
import os
import pathlib
import re
import subprocess
import sys

import marlin


def readme_example():
    readme = pathlib.Path(os.environ["MARLIN_README"]).read_text()
    section = readme.split("## Marlin for Python", 1)[1]
    code = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    printed = re.search(r"\nprints\n\n((?:    .*\n)+)", section).group(1)
    return code, "".join(line[4:] + "\n" for line in printed.splitlines())


def test_readme_example_runs_as_printed(tmp_path):
    code, printed = readme_example()
    assert len(code.strip().splitlines()) <= 12
    package_parent = pathlib.Path(marlin.__file__).resolve().parent.parent
    env = dict(os.environ, PYTHONPATH=str(package_parent))
    run = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, env=env, capture_output=True,
                         text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert run.stdout == printed
