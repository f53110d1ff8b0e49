# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the bench scripts (sourced): times a Kestrel command against the
# matching wimlib-imagex command. Expects $work (scratch folder) and $runs.

# timed CMD...: runs the command with its output discarded and prints its
# wall-clock seconds and the CPU seconds (user + system) it and its children
# used. CPU time is the steadier figure on a busy machine.
timed() {
  python3 -c '
import resource, subprocess, sys, time
start = time.monotonic()
code = subprocess.call(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
wall = time.monotonic() - start
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.3f %.3f" % (wall, usage.ru_utime + usage.ru_stime))
sys.exit(code)
' "$@"
}

# pair NAME KESTREL_CMD -- IMAGEX_CMD: runs the two alternately, $runs times
# each (outputs removed in between, so that load on the machine hits both
# alike), and prints the fastest wall and CPU times of each and the ratios.
pair() {
  local name=$1; shift
  local mine=() theirs=()
  while [ "$1" != "--" ]; do mine+=("$1"); shift; done
  shift
  theirs=("$@")
  local results=()
  for _ in $(seq "$runs"); do
    rm -rf "$work/out" "$work/cap.wim" "$work/exp.wim" "$work/task.time"; sync
    local r
    r=$(KESTREL_TASK_TIME="$work/task.time" timed "${mine[@]}")
    results+=("S $r")
    # A driver that times its task alone (from the click, with the window
    # open) writes that figure; the whole process is printed beside it.
    [ -s "$work/task.time" ] && r=$(cat "$work/task.time")
    results+=("K $r")
    rm -rf "$work/out" "$work/cap.wim" "$work/exp.wim"; sync
    results+=("W $(timed "${theirs[@]}")")
  done
  printf '%s\n' "${results[@]}" | python3 -c '
import sys
best = {}
for line in sys.stdin:
    who, wall, cpu = line.split()
    w, c = best.get(who, (1e18, 1e18))
    best[who] = (min(w, float(wall)), min(c, float(cpu)))
(kw, kc), (iw, ic), (sw, sc) = best["K"], best["W"], best["S"]
print("%-8s %9.2f %9.2f %7.3f   %9.2f %9.2f %7.3f" % (sys.argv[1], kw, iw, kw / iw, kc, ic, kc / ic))
if (sw, sc) != (kw, kc):
    print("%-8s %9.2f %9.2f %7.3f   %9.2f %9.2f %7.3f" % ("  +start", sw, iw, sw / iw, sc, ic, sc / ic))
' "$name"
}
