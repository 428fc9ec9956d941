# Timing plumbing of the whole-program comparisons, sourced by run.sh and peers.sh. The caller
# sets work (scratch folder), runs (timed runs per command) and python (/usr/bin/python3).
# Commands are bash command lines: hyperfine is told to run them with bash, since they may hold
# bash quoting ($'...') that sh does not understand.

have() { command -v "$1" >/dev/null 2>&1; }

# command -> median wall seconds of $runs runs after one warm-up; "fail" when it fails (the
# reason is in $work/fail.log).
median_of() {
  local cmd=$1
  if have hyperfine; then
    if ! hyperfine --shell bash --style none --warmup 1 --runs "$runs" \
        --export-json "$work/hf.json" "$cmd" >/dev/null 2>"$work/hf.err"; then
      { echo "$cmd"; cat "$work/hf.err"; } >>"$work/fail.log"
      echo fail
      return
    fi
    "$python" -c 'import json,sys; print("%.3f" % json.load(open(sys.argv[1]))["results"][0]["median"])' \
      "$work/hf.json"
    return
  fi
  bash -c "$cmd" >/dev/null 2>>"$work/fail.log" || { echo fail; return; }
  local times=() t0 t1
  for _ in $(seq "$runs"); do
    t0=$(date +%s.%N)
    bash -c "$cmd" >/dev/null 2>&1
    t1=$(date +%s.%N)
    times+=("$(echo "$t1 - $t0" | bc)")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {
    if (NR % 2) printf "%.3f\n", a[(NR+1)/2]; else printf "%.3f\n", (a[NR/2]+a[NR/2+1])/2 }'
}

# command -> "cpu_seconds peak_MB" of one more run: user + system time of the whole command and
# the largest resident set among its processes ("fail fail" when it fails).
cpu_and_peak() {
  if ! /usr/bin/time -f '%U %S %M' -o "$work/time.txt" bash -c "$1" >/dev/null 2>&1; then
    echo "fail fail"
    return
  fi
  awk '{printf "%.2f %.0f\n", $1 + $2, $3 / 1024}' "$work/time.txt"
}

# Total bytes of the given files (0 when none exists).
size_of() {
  local total=0 f
  for f in "$@"; do [[ -f $f ]] && total=$((total + $(stat -c %s "$f"))); done
  echo "$total"
}
