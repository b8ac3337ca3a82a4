#!/usr/bin/env bash
# Each case runs in a subshell on purpose, so that no case sees another's values;
# the host-kind stand-ins are called through the sourced scripts.
# shellcheck disable=SC2030,SC2031,SC2317
# The script layer, in both of its branches on any host: the build chosen for
# a host that runs 32-bit programs and for one that does not, the Wine
# wrappers of each (they must reach a real program, never themselves), the
# exit trap before anything started, the virtual display, and shellcheck.
#
#   tests/scripts/test_scripts.sh [SCRIPTS_DIR]
set -uo pipefail
scripts=$(cd "${1:-$(dirname "$0")/../../scripts}" && pwd)
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }
check() {  # DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

# Runs in a subshell: sources the scripts as a host of the given kind would.
# Prints "ARCH|WINE|WINESERVER|line the build printed".
choose_as_host() {  # yes|no [DSAGA_ARCH]
  (
    unset DSAGA_ARCH WINELOADER
    [ -n "${2:-}" ] && export DSAGA_ARCH=$2
    # shellcheck source=/dev/null
    source "$scripts/build"
    if [ "$1" = yes ]; then dsaga_host_runs_32bit() { true; }; else dsaga_host_runs_32bit() { false; }; fi
    line=$(dsaga_choose_arch testing) || exit 1
    dsaga_choose_arch testing >/dev/null
    # shellcheck source=/dev/null
    source "$scripts/wine-env"
    echo "$DSAGA_ARCH|$DSAGA_WINE|$DSAGA_WINESERVER|$line"
  )
}

# A wrapper must run the program it names: a wrapper that called itself
# would overflow the shell's stack (exit 139) or never end (timeout, 124).
wrapper_reaches_program() {  # ARCH WRAPPER RUNNABLE(yes|no)
  local arch=$1 wrapper=$2 runnable=$3 out rc
  # shellcheck disable=SC2016
  out=$(DSAGA_ARCH=$arch timeout 60 bash -c '
    unset WINELOADER
    source "$1/wine-env"
    [ "$(type -t "$2")" = function ] || { echo "$2 is not a function"; exit 90; }
    "$2" --version' _ "$scripts" "$wrapper" 2>&1)
  rc=$?
  if [ "$runnable" = yes ]; then
    if [ $rc -eq 0 ] && [ -n "$out" ]; then return 0; fi
    echo "  $wrapper --version: exit $rc: $out"
  else
    # The kernel refuses the 32-bit loader: the program was reached all the same.
    if [ $rc -eq 126 ]; then return 0; fi
    echo "  $wrapper --version: exit $rc (expected 126): $out"
  fi
  return 1
}

is_absolute_program() { [[ $1 = /* ]] && [ -f "$1" ] && [ -x "$1" ]; }
refused() { ! "$@" >/dev/null 2>&1; }

host_runs_32bit=no
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then host_runs_32bit=yes; fi
echo "this host runs 32-bit processes: $host_runs_32bit; both branches are checked"

for kind in yes no; do
  result=$(choose_as_host "$kind") || { fail "choosing the build as a host with 32-bit=$kind"; continue; }
  IFS='|' read -r arch wine server line <<<"$result"
  if [ "$kind" = yes ]; then
    check "32-bit host: the 32-bit launcher is tested" [ "$arch" = i686 ]
    check "32-bit host: says so" [ "$line" = "build: this host runs 32-bit programs: testing the 32-bit launcher" ]
  else
    check "64-bit-only host: the 64-bit build is tested" [ "$arch" = x86_64 ]
    check "64-bit-only host: says so" [ "$line" = "build: this host cannot run 32-bit processes: testing the 64-bit build of the same sources" ]
  fi
  for program in "$wine" "$server"; do
    check "$arch: $program is an absolute path to a program" \
      is_absolute_program "$program"
  done
  runnable=yes
  if [ "$arch" = i686 ] && [ "$host_runs_32bit" = no ]; then runnable=no; fi
  check "$arch: dsaga_wine reaches Wine's loader" wrapper_reaches_program "$arch" dsaga_wine "$runnable"
  check "$arch: dsaga_wineserver reaches the server" wrapper_reaches_program "$arch" dsaga_wineserver yes
done

forced_64bit_build_is_said() {
  local result arch line
  result=$(choose_as_host no x86_64) || return 1
  IFS='|' read -r arch _ _ line <<<"$result"
  [ "$arch" = x86_64 ] &&
    [ "$line" = "build: DSAGA_ARCH=x86_64: testing the 64-bit build of the same sources" ]
}
check "DSAGA_ARCH=x86_64 is honoured and said" forced_64bit_build_is_said
check "DSAGA_ARCH=i686 is refused where 32-bit programs cannot run" refused choose_as_host no i686
check "an unknown DSAGA_ARCH is refused" refused choose_as_host yes arm
# No function of ours may shadow a command: a wrapper named like the
# program it runs calls itself. The scripts must source, or nothing is seen.
no_function_shadows_a_command() {
  local shadowing
  # shellcheck disable=SC2016
  shadowing=$(DSAGA_ARCH=x86_64 bash --norc --noprofile -c '
    set -e
    source "$1/build"; source "$1/wine-env"; source "$1/xdisplay"
    for f in $(declare -F | awk "{print \$3}"); do
      if [[ $f != dsaga_* ]] || [ -n "$(type -P "$f")" ]; then echo "$f"; fi
    done' _ "$scripts") || { echo "  the scripts could not be sourced"; return 1; }
  [ -z "$shadowing" ] || { echo "  not: $shadowing"; return 1; }
}
check "every script function is named dsaga_* and shadows no command" no_function_shadows_a_command

# Every program the scripts (and this test) call comes with setup or with
# every Debian system: on a fresh machine none may be missing.
programs_come_with_setup() {
  local packages
  packages=$(mktemp)
  "$scripts/setup" --packages >"$packages" &&
    python3 "$(dirname "$0")/script_programs.py" "$packages" "$scripts"/* "$scripts/../.ci/run" "$0" |
    sed 's/^/  /'
  local status=${PIPESTATUS[0]}
  rm -f "$packages"
  return "$status"
}
check "every program the scripts call is installed by setup or part of the base system" programs_come_with_setup

trap_early() {
  (
    set -euo pipefail
    export DSAGA_ARCH=x86_64
    # shellcheck source=/dev/null
    source "$scripts/wine-env"; source "$scripts/xdisplay"
    dsaga_wine_down
    dsaga_display_down
  )
}
check "the exit trap works before the prefix or display exist" trap_early

display_round_trip() {
  (
    set -euo pipefail
    # shellcheck source=/dev/null
    source "$scripts/xdisplay"
    # Whatever fails below, the display does not outlive the check.
    trap dsaga_display_down EXIT
    dsaga_display_up force
    xdpyinfo -display "$DISPLAY" >/dev/null
    pid=$DSAGA_XVFB_PID
    dsaga_display_down
    ! kill -0 "$pid" 2>/dev/null
  )
}
check "the virtual display answers once started and is gone once stopped" display_round_trip

# Nobody sees a virtual display: what runs there says where, and how to see it.
unseen_display_is_explained() {
  (
    set -euo pipefail
    # shellcheck source=/dev/null
    source "$scripts/xdisplay"
    trap dsaga_display_down EXIT
    DISPLAY=:1 dsaga_display_up auto
    [ -z "$(dsaga_display_explain "it" "look")" ]
    dsaga_display_up force
    [ "$(dsaga_display_explain "it" "look")" = "it runs on the virtual display $DISPLAY, which no screen shows; look" ]
  )
}
check "a program on a virtual display is said to run there; on the user's own, nothing is said" unseen_display_is_explained

shellcheck_clean() {
  (cd "$scripts/.." && shellcheck -x scripts/* .ci/run) &&
    # This test sources the scripts through a variable path.
    shellcheck -e SC1091 "$0"
}
if command -v shellcheck >/dev/null; then
  check "shellcheck finds nothing in the scripts or this test" shellcheck_clean
else
  fail "shellcheck is not installed (scripts/setup installs it)"
fi

if [ $failures -gt 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all script checks passed"
