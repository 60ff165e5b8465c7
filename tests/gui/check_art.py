#!/usr/bin/env python3
"""Checks that src/res/art/make_art.py reproduces the committed art exactly."""

import filecmp
import subprocess
import sys
import tempfile
from pathlib import Path

ART = Path(__file__).resolve().parent.parent.parent / "src" / "res" / "art"

with tempfile.TemporaryDirectory() as out:
    subprocess.run([sys.executable, str(ART / "make_art.py"), out], check=True,
                   stdout=subprocess.DEVNULL, timeout=120)
    made = sorted(p.name for p in Path(out).iterdir())
    committed = sorted(p.name for p in ART.iterdir() if p.suffix in (".bmp", ".ico"))
    if made != committed:
        sys.exit(f"generated {made}, committed {committed}")
    differ = [n for n in made if not filecmp.cmp(Path(out) / n, ART / n, shallow=False)]
    if differ:
        sys.exit(f"regenerated art differs from the committed files: {differ}")
print(f"{len(made)} files reproduced")
