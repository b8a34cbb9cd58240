#!/usr/bin/env python3
"""Runs a build folder's tests as ctest would (command, environment, working
folder, time limit), N at a time, longest first, and prints each test's CPU
seconds (user+sys of it and every process it waited for) and the sum.

    python3 scripts/ctest_cpu.py BUILD N [INCLUDE_REGEX [EXCLUDE_REGEX]]

CPU_EXTRA_ENV="K=V ..." adds to every test's environment (the sanitizers'
options)."""
import json, os, subprocess, sys, time, re
from concurrent.futures import ThreadPoolExecutor

build, jobs = sys.argv[1], int(sys.argv[2])
regex = sys.argv[3] if len(sys.argv) > 3 else None
exclude = sys.argv[4] if len(sys.argv) > 4 else None
extra_env = dict(kv.split('=', 1) for kv in os.environ.get('CPU_EXTRA_ENV', '').split() if '=' in kv)
info = json.loads(subprocess.check_output(['ctest', '--test-dir', build, '--show-only=json-v1']))

def props(t):
    return {p['name']: p['value'] for p in t.get('properties', [])}

tests = []
for t in info['tests']:
    if regex and not re.search(regex, t['name']): continue
    if exclude and re.search(exclude, t['name']): continue
    tests.append(t)
tests.sort(key=lambda t: -float(props(t).get('COST', 0)))

def run(t):
    p = props(t)
    env = dict(os.environ); env.update(extra_env)
    for kv in p.get('ENVIRONMENT', []):
        k, v = kv.split('=', 1); env[k] = v
    timeout = float(p.get('TIMEOUT', 1500))
    start = time.time()
    proc = subprocess.Popen(t['command'], cwd=p.get('WORKING_DIRECTORY', build), env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    # wait4 on the one child gives its own and its waited-for children's usage
    while True:
        pid, status, ru = os.wait4(proc.pid, os.WNOHANG)
        if pid: break
        if time.time() - start > timeout:
            os.killpg(proc.pid, 9)
        time.sleep(0.05)
    proc.returncode = os.waitstatus_to_exitcode(status)
    return t['name'], ru.ru_utime + ru.ru_stime, time.time() - start, proc.returncode

total = 0.0
with ThreadPoolExecutor(jobs) as pool:
    for name, cpu, wall, rc in pool.map(run, tests):
        total += cpu
        print(f"{cpu:8.1f} cpu-s {wall:7.1f} wall-s rc={rc} {name}", flush=True)
print(f"{total:8.1f} cpu-s total, {len(tests)} tests")
