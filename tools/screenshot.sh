#!/usr/bin/env bash
# Starts the desktop program on a virtual X server with all three option bars shown and saves
# a screenshot of the screen, to check that every caption shows as legible Japanese.
#
#   tools/screenshot.sh [PROGRAM] [OUTPUT.png]
#
# PROGRAM defaults to build/src/gui/pamirune, OUTPUT to shot.png. The program runs with a
# temporary home and settings folder, so the user's own settings are never touched.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
program="${1:-$root/build/src/gui/pamirune}"
output="${2:-shot.png}"
case "$output" in /*) ;; *) output="$PWD/$output" ;; esac
[ -x "$program" ] || { echo "screenshot.sh: no program at $program (build it first)" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "screenshot.sh: xvfb-run is missing (apt-get install xvfb)" >&2; exit 2; }
command -v import >/dev/null || { echo "screenshot.sh: import is missing (apt-get install imagemagick)" >&2; exit 2; }

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/config/pamirune" "$tmp/run"
chmod 700 "$tmp/run"
# Formats ticked so that every control of the bars is enabled.
cat > "$tmp/config/pamirune/Pamirune.ini" <<'INI'
[Format]
jpg=1
png=1
ico=1
gif=1
256=0
trs=1
[Flag]
bar1=1
bar2=1
bar3=1
anime=1
Delay=1200
Del=1
[Window]
Pos.X=16
Pos.Y=16
INI

export HOME="$tmp" XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run"
export QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 480x360x24 -nolisten tcp" bash -c '
  "$1" &
  pid=$!
  sleep "${SCREENSHOT_DELAY:-3}"
  import -window root "$2"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
' screenshot "$program" "$output"
echo "screenshot saved to $output"
