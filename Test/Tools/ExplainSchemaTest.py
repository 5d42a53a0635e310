"""The stories quarn-emu explain --json tells of a few logs against the explain JSON Schema
(a boot reproduced, a scenario written with --emit, a log cut at its start and one cut at
its end, a log refused, a log without the module's lines), and the schema is strict
enough to refuse what a story must never hold.

    ExplainSchemaTest.py SCHEMA QUARN_EMU FIELD_LOG IMPOSSIBLE_LOG

QUARN_EMU (build/bin/quarn-emu, the launcher a user starts) is run as `run NAME --json`
for the consoles and as `explain LOG --json [--emit FILE]`. Exit status 0 when every
story is valid.
"""
import argparse
import copy
import json
import os
import subprocess
import tempfile

import jsonschema


def run(command, *arguments, expect=(0,)):
    result = subprocess.run(command + list(arguments), capture_output=True, check=False)
    if result.returncode not in expect:
        raise SystemExit(f"{' '.join(arguments)}: exit status {result.returncode}\n{result.stderr.decode()}")
    return result.stdout.decode("utf-8")


def problems(validator, story):
    return [f"{'/'.join(str(p) for p in e.absolute_path)}: {e.message[:200]}" for e in validator.iter_errors(story)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", 1)[0])
    parser.add_argument("schema", help="the explain JSON Schema")
    parser.add_argument("program", help="quarn-emu (the launcher a user starts)")
    parser.add_argument("field_log", help="docs/examples/field.log")
    parser.add_argument("impossible_log", help="a log no scenario prints")
    options = parser.parse_args()
    command = [options.program]
    with open(options.schema, encoding="utf-8") as file:
        schema = json.load(file)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)

    failures = []
    stories = {}
    with tempfile.TemporaryDirectory(prefix="quarn-explain-schema-") as work:
        def log_of(name, lines):
            path = os.path.join(work, name)
            with open(path, "w", encoding="utf-8", newline="") as file:
                file.write("".join(line + "\r\n" for line in lines))
            return path

        default = json.loads(run(command, "run", "default", "--json"))["console"].splitlines()
        logs = {
            "field.log": [options.field_log],
            "impossible.log": [options.impossible_log],
            "watchdog-refused --emit": [log_of("watchdog-refused.log", json.loads(run(
                command, "run", "watchdog-refused", "--json"))["console"].splitlines()),
                "--emit", os.path.join(work, "emitted.toml")],
            "default without its migration line": [log_of("no-migration.log", [
                line for line in default if not line.startswith("Migration pointer type 9: ")])],
            "default cut after 4 lines": [log_of("cut.log", default[:4])],
            "no module line": [log_of("empty.log", ["PROGRESS CODE: V03020003 I0"])],
        }
        for name, arguments in logs.items():
            story = json.loads(run(command, "explain", arguments[0], "--json", *arguments[1:], expect=(0, 1)))
            stories[name] = story
            failures += [f"{name}: {p}" for p in problems(validator, story)]

        # What each story must say, beyond its shape.
        checks = [
            ("field.log", stories["field.log"]["reproduced"] and stories["field.log"]["fields"]),
            ("impossible.log refused", not stories["impossible.log"]["reproduced"] and
             stories["impossible.log"]["impossible"] and stories["impossible.log"]["fields"] == []),
            ("--emit names the file", stories["watchdog-refused --emit"]["emitted"] == os.path.join(work, "emitted.toml")),
            ("no migration line: the line the log lacks", len(stories["default without its migration line"]["lines_before"]) == 1
             and not stories["default without its migration line"]["exact"]),
            ("cut: the lines after", stories["default cut after 4 lines"]["lines_after"] and
             not stories["default cut after 4 lines"]["exact"]),
            ("no module line", stories["no module line"]["fields"] == [] and stories["no module line"]["lines_after"] == []),
        ]
        failures += [f"{name}: not as expected" for name, holds in checks if not holds]

    # The schema refuses what a story must never hold.
    good = stories["watchdog-refused --emit"]
    broken = []
    missing = copy.deepcopy(good)
    del missing["fields"]
    broken.append(("fields missing", missing))
    pinned_and_free = copy.deepcopy(good)
    pinned = next(f for f in pinned_and_free["fields"] if f["pinned"])
    pinned["free"] = "any value"
    broken.append(("a pinned field with a range", pinned_and_free))
    free_without_range = copy.deepcopy(good)
    free = next(f for f in free_without_range["fields"] if not f["pinned"])
    free["free"] = None
    broken.append(("a free field without its range", free_without_range))
    extra = copy.deepcopy(good)
    extra["exchange"][0]["bytes"] = 2
    broken.append(("an exchange key the schema does not know", extra))
    odd = copy.deepcopy(good)
    odd["exchange"][0]["response"] = "8"
    broken.append(("a response of half a byte", odd))
    failures += [f"the schema takes {name}" for name, story in broken if validator.is_valid(story)]

    for failure in failures:
        print(failure)
    print(f"{len(stories)} stories against the schema, {len(broken)} broken ones refused: "
          f"{'ok' if not failures else f'{len(failures)} problems'}")
    return 1 if failures else 0


if __name__ == "__main__":
    raise SystemExit(main())
