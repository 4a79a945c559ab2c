"""Prints the engine matrix's results (engine_test.py's files in DIR, by
default build/engines-results) as a markdown table: case, engine, checks."""
import pathlib
import sys

CHECKS = ["print-url", "attach", "breakpoint", "paused-at-start", "resume", "close"]
folder = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else
                      pathlib.Path(__file__).resolve().parents[2] / "build" / "engines-results")
print("| case | engine | " + " | ".join(CHECKS) + " |")
print("|---|---|" + "---|" * len(CHECKS))
for file in sorted(folder.glob("*.tsv")):
    rows = [line.split("\t") for line in file.read_text().splitlines() if line]
    results = {row[2]: row[3] for row in rows}
    engine = rows[0][1] if rows else ""
    print(f"| {file.stem} | {engine} | " + " | ".join(results.get(c, "-") for c in CHECKS) + " |")
