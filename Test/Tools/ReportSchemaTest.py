"""Every built-in scenario's report, with and without --trace, and the report of a run
whose firmware garbles its answers, against the report's JSON Schema; and the schema is
strict enough to refuse what a report must never hold.

    ReportSchemaTest.py SCHEMA QUARN_EMU

QUARN_EMU (build/bin/quarn-emu, the launcher a user starts) is run as `list` and as
`run NAME --json [--trace]`. Exit status 0 when every report is valid.
"""
import argparse
import copy
import json
import subprocess
import sys

import jsonschema


# Answers the firmware garbles: short, of the wrong command, longer than the buffer with a
# length claimed larger still. Their decodes name a problem and keep the bytes. The run
# also has a failed call (the report's fault) and a scripted register change after its
# end (a board warning), so that those parts of the report are validated filled in.
GARBLED = b"""name = "garbled"
[policy]
pre_did_reset = true
ssc_alternate = true
bios_update_watchdog = true
[vorn]
fs1 = 2
fs2 = 0x400
[drux.pre_did_reset]
response = "85 03"
[drux.watchdog]
response = "05"
[drux.feature_set]
response = "81 00 00 04 00 00 00 00 00 00 00 ff ee"
response_length = 20
[fault]
call = "LocatePpi"
nth = 1
[[vorn.at]]
ms = 100000
fs2 = 0x400
"""


def run(command, *arguments, scenario=None):
    result = subprocess.run(command + list(arguments), input=scenario, capture_output=True, check=False)
    if result.returncode not in (0, 3):  # 3: the emulator stopped the module, still a report
        raise SystemExit(f"{' '.join(arguments)}: exit status {result.returncode}\n{result.stderr.decode()}")
    return result.stdout.decode("utf-8")


def problems(validator, report):
    return [f"{'/'.join(str(p) for p in e.absolute_path)}: {e.message[:200]}" for e in validator.iter_errors(report)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", 1)[0])
    parser.add_argument("schema", help="the report's JSON Schema")
    parser.add_argument("program", help="quarn-emu (the launcher a user starts)")
    options = parser.parse_args()
    schema_path, program = options.schema, options.program
    command = [program]
    with open(schema_path, encoding="utf-8") as file:
        schema = json.load(file)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)

    names = [line.split()[0] for line in run(command, "list").splitlines() if line.strip()]
    if len(names) < 10:
        raise SystemExit(f"only {len(names)} built-in scenarios listed")
    failures = []
    default = None
    for name in names:
        for trace in ([], ["--trace"]):
            report = json.loads(run(command, "run", name, "--json", *trace))
            if report.get("format") != 2:
                failures.append(f"{name} {' '.join(trace)}: format {report.get('format')!r}")
            failures += [f"{name} {' '.join(trace)}: {p}" for p in problems(validator, report)]
            if name == "default" and trace:
                default = report

    garbled = json.loads(run(command, "run", "-", "--json", scenario=GARBLED))
    decodes = [m["decoded"]["response"] for m in garbled["messages"] if m["decoded"]["response"]]
    if sum(1 for d in decodes if "problem" in d) != 3:
        failures.append(f"garbled answers: {sum(1 for d in decodes if 'problem' in d)} decodes name a problem, not 3")
    if garbled["fault"] != {"call": "LocatePpi", "nth": 1, "time_ms": 0.06514, "status": "EFI_NOT_FOUND"}:
        failures.append(f"garbled: fault {garbled['fault']!r}")
    if len(garbled["board"]["warnings"]) != 1:
        failures.append(f"garbled: board warnings {garbled['board']['warnings']!r}, not one")
    failures += [f"garbled: {p}" for p in problems(validator, garbled)]

    # What the schema must refuse: a 64-bit value as a number, an unknown key, a decode
    # that lost its bytes, a message without its time.
    if default is None:
        raise SystemExit("no default scenario among the built-ins")
    broken = []
    spoiled = copy.deepcopy(default)
    spoiled["mm7"][0] = int(spoiled["mm7"][0], 16)
    broken.append(("mm7 as a number", spoiled))
    spoiled = copy.deepcopy(default)
    spoiled["trace"][0]["value"] = 9223372322470118436
    broken.append(("a trace value as a number", spoiled))
    spoiled = copy.deepcopy(default)
    spoiled["unknown_key"] = 1
    broken.append(("an unknown key", spoiled))
    spoiled = copy.deepcopy(default)
    del spoiled["messages"][0]["decoded"]["request"]["rest"]
    broken.append(("a decode without its rest", spoiled))
    spoiled = copy.deepcopy(default)
    del spoiled["messages"][0]["time_ms"]
    broken.append(("a message without its time", spoiled))
    spoiled = copy.deepcopy(default)
    del spoiled["halt_codes"]
    broken.append(("a report without halt codes", spoiled))
    spoiled = copy.deepcopy(default)
    spoiled["board"]["timeline"][0]["source"] = "scripted"
    broken.append(("a register change of no known source", spoiled))
    spoiled = copy.deepcopy(default)
    spoiled["debug_error_level"]["mm0_at_first_read"] = 0
    broken.append(("MM0 as a number", spoiled))
    spoiled = copy.deepcopy(default)
    spoiled["format"] = 1
    broken.append(("format 1", spoiled))
    for what, report in broken:
        if not problems(validator, report):
            failures.append(f"the schema accepts {what}")

    for failure in failures:
        print(failure)
    print(f"{len(names)} built-in scenarios, {2 * len(names) + 1} reports checked, {len(failures)} problems")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
