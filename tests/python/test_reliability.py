"""Reproducers of crashes found by using the module as a hostile or careless caller would, each in a
child process under a time and memory limit, so that a regression fails one row instead of the whole
run."""

import resource
import subprocess
import sys

import pytest

PRELUDE = "import math, threading\nimport numpy as np\nimport _se2_planner as sp\n"

# Another thread rewrites what plan was given while it runs (this once crashed the interpreter):
# every answer must be one of those the two settings give on their own.
RACE = """
p = sp.HybridAStar(np.zeros((60, 60), np.uint8), 0.1, 0.0, 0.0)
r = sp.PlanRequest(); r.start = sp.Pose2D(1, 1, 0); r.goal = sp.Pose2D(5, 4, 1.57)
cfg = sp.PlannerConfig()
polygon = sp.PolygonFootprint([sp.Point2D(0.25 * math.cos(2 * math.pi * k / 60),
                                          0.25 * math.sin(2 * math.pi * k / 60)) for k in range(60)])
circle = sp.CircleFootprint(0.25)
stop = False
def flip():
    k = 0
    while not stop:
        k += 1
        if FIELD == "footprint":
            r.footprint = polygon if k % 2 else circle
        else:
            cfg.terminal_check_interval = 0 if k % 2 else 256
threading.Thread(target=flip, daemon=True).start()
seen = set()
for _ in range(40):
    res = p.plan(r, cfg)
    seen.add((sp.planner_status_name(res.status), res.message))
stop = True
allowed = {("SUCCESS", "path found"), ("INVALID_REQUEST", "terminal_check_interval must be positive")}
print("ok" if seen <= allowed else seen)
"""

# The node index over 2000 x 2000 cells x 72 bins wants 1.15 GB of address space.
ADDRESS_SPACE = """
import resource
resource.setrlimit(resource.RLIMIT_AS, (1_000_000_000, 1_000_000_000))
p = sp.HybridAStar(np.zeros((2000, 2000), np.uint8), 0.05, 0.0, 0.0)
r = sp.PlanRequest(); r.start = sp.Pose2D(10, 10, 0); r.goal = sp.Pose2D(30, 12, 1.0)
print(sp.planner_status_name(p.plan(r, sp.recommended_config(0.05, r.footprint)).status))
"""


@pytest.mark.parametrize(
    "code, expected",
    [(ADDRESS_SPACE, "SUCCESS"), ("FIELD = 'footprint'" + RACE, "ok"), ("FIELD = 'interval'" + RACE, "ok")],
    ids=["address_space_limit", "footprint_race", "config_race"],
)
def test_crash_reproducers_in_a_child_process(code, expected):
    done = subprocess.run([sys.executable, "-c", PRELUDE + code], capture_output=True, text=True, timeout=20,
                          preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30)))  # 4 GB
    assert done.returncode == 0, done.stderr[-2000:]
    assert done.stdout.strip() == expected
