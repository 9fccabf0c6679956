# SPDX-License-Identifier: GPL-3.0-or-later
"""What every end-to-end driver here does around its scenarios: find them, make the
programs' paths absolute, run the one asked for in a fresh temporary directory, and end
every program it started, whether the scenario passed or failed.

    SCENARIOS = scenario_runner.scenarios(globals())
    ...
    tools = parser.parse_args()
    tools.runs = []
    scenario_runner.absolute_paths(tools, ("emulator", "logger"))
    return scenario_runner.run(SCENARIOS, tools, "nocturo-e2e-", (Failure,))
"""
import os
import sys
import tempfile


def scenarios(namespace):
    """The driver's scenarios by name: its functions scenario_NAME(tools, workdir)."""
    return {name[len("scenario_"):]: f for name, f in namespace.items()
            if name.startswith("scenario_")}


def absolute_paths(tools, names):
    """The programs named by these options, as absolute paths (the runs change directory)."""
    for name in names:
        if getattr(tools, name):
            setattr(tools, name, os.path.abspath(getattr(tools, name)))


def run(scenarios_by_name, tools, prefix, failures, cleanups=()):
    """Runs tools.scenario in a temporary directory named with `prefix`; a failure of one
    of the types `failures` is printed and gives 1, else "passed" and 0. Each of
    tools.runs is killed at the end, then each of `cleanups` is called."""
    with tempfile.TemporaryDirectory(prefix=prefix) as workdir:
        try:
            scenarios_by_name[tools.scenario](tools, os.path.realpath(workdir))
        except failures as failure:
            print("FAILED:", failure, file=sys.stderr)
            return 1
        finally:
            for started in tools.runs:
                started.kill()
            for cleanup in cleanups:
                cleanup()
    print("passed")
    return 0
