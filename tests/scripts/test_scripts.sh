#!/usr/bin/env bash
# Each case runs in a subshell on purpose, so that no case sees another's values;
# the host-kind stand-ins are called through the sourced scripts.
# shellcheck disable=SC2030,SC2031,SC2317
# The script layer, in both of its branches on any host: the build chosen for
# a host that runs 32-bit programs and for one that does not, the Wine
# wrappers of each (they must reach a real program, never themselves) and
# CTest's emulator (the build's Wine, never another), the
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

# CTest's emulator, started without the Wine that scripts/test chose (as
# when ctest runs by hand), with a stand-in `wine` first on the PATH: it
# runs the build's own loader, or refuses, and never the stand-in.
wine_exec_reaches() {  # ARCH|"" EXPECTED(loader|refusal) RUNNABLE(yes|no)
  local arch=$1 expected=$2 runnable=$3 dir out rc
  dir=$(mktemp -d)
  printf '#!/bin/sh\necho "a wine found on the PATH"\n' >"$dir/wine"
  chmod +x "$dir/wine"
  # A file for a prefix: Wine gives up on it at once, and makes none.
  : >"$dir/not-a-prefix"
  out=$(
    unset DSAGA_WINE DSAGA_WINESERVER WINELOADER WINESERVER DSAGA_ARCH
    if [ -n "$arch" ]; then export DSAGA_ARCH=$arch; fi
    export WINEPREFIX="$dir/not-a-prefix" PATH="$dir:$PATH"
    timeout 60 "$scripts/wine-exec" --version 2>&1
  )
  rc=$?
  rm -rf "$dir"
  if [ "$expected" = refusal ]; then
    [ $rc -eq 2 ] && [[ $out = *"run the tests through scripts/test"* ]] && return 0
  elif [ "$runnable" = yes ]; then
    [ $rc -eq 0 ] && [[ $out = wine-* ]] && return 0
  else
    # The kernel refuses the 32-bit loader: the loader was reached all the same.
    [ $rc -eq 126 ] && [[ $out = */usr/lib/wine/wine:* ]] && return 0
  fi
  echo "  wine-exec --version: exit $rc: $out"
  return 1
}
check "x86_64: wine-exec runs the build's loader, never a wine on the PATH" wine_exec_reaches x86_64 loader yes
check "i686: wine-exec runs the build's loader, never a wine on the PATH" wine_exec_reaches i686 loader "$host_runs_32bit"
check "wine-exec without DSAGA_ARCH refuses to guess a Wine" wine_exec_reaches "" refusal yes

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
    source "$1/build"; source "$1/wine-env"; source "$1/xdisplay"; source "$1/setup"
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

# setup against an apt of its own: a private configuration, lists, cache
# and an empty package database in a temporary directory, with sources that
# are archives of the release's own name made here (or missing), and every
# install simulated. The machine's lists and packages are never touched.
codename=$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release | tr -d '"')

private_apt() {  # DIR SOURCE_LINE...: writes DIR/apt.conf
  local dir=$1
  shift
  mkdir -p "$dir"/{lists/partial,cache/archives/partial,parts,preferences.d}
  : >"$dir/status"
  printf '%s\n' "$@" >"$dir/sources.list"
  cat >"$dir/apt.conf" <<EOF
Dir::Etc::sourcelist "$dir/sources.list";
Dir::Etc::sourceparts "$dir/parts";
Dir::Etc::preferences "$dir/preferences";
Dir::Etc::preferencesparts "$dir/preferences.d";
Dir::State "$dir";
Dir::State::lists "$dir/lists";
Dir::State::status "$dir/status";
Dir::Cache "$dir/cache";
APT::Architecture "amd64";
APT::Architectures { "amd64"; "i386"; };
APT::Get::Simulate "true";
APT::Sandbox::User "$(id -un)";
EOF
}

probe_package() {  # NAME VERSION ARCH [DEPENDS]
  printf 'Package: %s\nVersion: %s\nArchitecture: %s\nMulti-Arch: %s\nMaintainer: setup test <test@localhost>\n' \
    "$1" "$2" "$3" "$([ "$1" = libprobe ] && echo same || echo no)"
  [ -z "${4:-}" ] || printf 'Depends: %s\n' "$4"
  printf 'Filename: pool/%s_%s_%s.deb\nSize: 1000\nDescription: a package setup is tested with\n\n' "$1" "$2" "$3"
}

# A suite's Release lists both architectures' lists, also one not there.
suite_release() {  # SUITE_DIR SUITE CODENAME
  local dir=$1 list
  printf 'Suite: %s\nCodename: %s\nDate: Sat, 01 Jan 2000 00:00:00 UTC\nArchitectures: amd64 i386\nComponents: main\nSHA256:\n' \
    "$2" "$3" >"$dir/Release"
  for list in main/binary-amd64/Packages main/binary-i386/Packages; do
    if [ -f "$dir/$list" ]; then
      printf ' %s %s %s\n' "$(sha256sum <"$dir/$list" | cut -d' ' -f1)" "$(stat -c %s "$dir/$list")" "$list"
    else
      printf ' %s 376004 %s\n' "$(printf missing | sha256sum | cut -d' ' -f1)" "$list"
    fi >>"$dir/Release"
  done
}

# The release with a library for both architectures, and its security suite
# with a newer one (and a newer tool needing it), for both architectures or
# for the 64-bit one only.
probe_archive() {  # DIR both|64-bit-only
  local dir=$1 release=$1/dists/$codename security=$1/dists/$codename-security
  mkdir -p "$release"/main/binary-{amd64,i386} "$security"/main/binary-{amd64,i386}
  { probe_package libprobe 1 amd64; probe_package tool 1 amd64 libprobe; } >"$release/main/binary-amd64/Packages"
  { probe_package libprobe 1 i386; probe_package tool32 1 i386 libprobe; } >"$release/main/binary-i386/Packages"
  { probe_package libprobe 1+sec1 amd64; probe_package tool 1+sec1 amd64 "libprobe (>= 1+sec1)"; } \
    >"$security/main/binary-amd64/Packages"
  if [ "$2" = both ]; then
    probe_package libprobe 1+sec1 i386 >"$security/main/binary-i386/Packages"
  fi
  suite_release "$release" stable "$codename"
  suite_release "$security" stable-security "$codename-security"
}

# Runs setup's apt path, for PACKAGEs, against a private apt whose sources
# are the probe archive (with the security suite's 32-bit list, or without
# it after 64-bit apt read the lists once) or one missing source. Prints
# "status: N", then all that was written (apt's output and setup's).
setup_against() {  # both|64-bit-only|missing PACKAGE...
  local kind=$1 dir
  shift
  dir=$(mktemp -d)
  if [ "$kind" = missing ]; then
    private_apt "$dir" "deb [trusted=yes] file:$dir/missing ./"
  else
    probe_archive "$dir/archive" "$kind"
    private_apt "$dir" "deb [trusted=yes] file:$dir/archive $codename main" \
      "deb [trusted=yes] file:$dir/archive $codename-security main"
  fi
  if [ "$kind" = 64-bit-only ]; then
    APT_CONFIG=$dir/apt.conf apt-get -q -o APT::Architectures=amd64 update >"$dir/out" 2>&1 ||
      echo "the 64-bit lists could not be read"
  fi
  (
    set -euo pipefail
    export APT_CONFIG=$dir/apt.conf
    # shellcheck source=/dev/null
    source "$scripts/setup"
    status=0
    dsaga_install_from_lists 3 0 "$@" >"$dir/out" 2>&1 || status=$?
    echo "status: $status"
    cat "$dir/out"
  )
  rm -rf "$dir"
}

show() {  # TEXT: for the reader of a failure
  local lines
  mapfile -t lines <<<"$1"
  printf '  | %s\n' "${lines[@]}"
}

# Each PATTERN (a basic regular expression) matches a line of TEXT; one
# beginning "!" matches none, one beginning "last:" matches the last line.
lines_match() {  # TEXT PATTERN...
  local text=$1 pattern
  shift
  for pattern in "$@"; do
    case $pattern in
      !*) ! grep -q -- "${pattern#!}" <<<"$text" ;;
      last:*) tail -n 1 <<<"$text" | grep -q -- "${pattern#last:}" ;;
      *) grep -q -- "$pattern" <<<"$text" ;;
    esac && continue
    echo "  not: $pattern"
    show "$text"
    return 1
  done
}

# Every list reads: one update, one plain install, the newest versions.
setup_installs_from_sound_lists() {
  lines_match "$(setup_against both tool tool32:i386)" '^status: 0$' \
    '^Inst tool (1+sec1 ' '^Inst tool32:i386 (1 ' \
    '!setup: apt-get update failed' '!setup: installing again'
}
check "setup installs with one update and one install when every list reads" setup_installs_from_sound_lists

# The bad day: both suites' lists were read before the 32-bit architecture
# came; now the security suite's 32-bit list is missing, and apt's
# candidates of the library differ between the architectures.
setup_survives_a_missing_32bit_list() {
  local out tries
  out=$(setup_against 64-bit-only tool tool32:i386)
  tries=$(grep -c "^Err:.* $codename-security/main i386 Packages" <<<"$out")
  [ "$tries" -eq 3 ] || echo "  apt read the missing list $tries times, not 3"
  [ "$tries" -eq 3 ] && lines_match "$out" '^status: 0$' \
    '^setup: apt-get update failed (try 2 of 3); trying again in 0 s$' \
    '^setup: apt-get update failed 3 times; installing with the package lists apt has$' \
    'tool32:i386 : Depends: libprobe:i386 but it is not installable' \
    "^setup: installing again, preferring the release's own suite ($codename)$" \
    '^Inst tool (1 stable \[amd64\])' '^Inst tool32:i386 (1 stable \[i386\])'
}
check "setup retries a missing 32-bit list, then installs from the release's own suite" setup_survives_a_missing_32bit_list

# Its one source missing: setup's last word is one line naming the list.
setup_names_the_list_it_could_not_read() {
  lines_match "$(setup_against missing tool)" '^status: 1$' '^setup: apt-get update failed 3 times' \
    "^setup: installing again, preferring the release's own suite ($codename)$" \
    'last:^setup: apt could not install the packages, since it could not read the package list file:/.*/missing/\./Packages (File not found - .*); run scripts/setup again once the mirror has finished syncing (often within the hour), or point that source in /etc/apt at another mirror$'
}
check "setup that cannot install says in one line which list it could not read and what to do" setup_names_the_list_it_could_not_read

# Every list read, yet no install: the line gives apt's own error.
setup_gives_apts_error_when_every_list_read() {
  lines_match "$(setup_against both no-such-probe)" '^status: 1$' '!setup: apt-get update failed' \
    'last:^setup: apt could not install the packages (Unable to locate package no-such-probe); fix what apt says above and run scripts/setup again$'
}
check "setup that cannot install though every list read gives apt's error" setup_gives_apts_error_when_every_list_read

# `locale -a` spells a locale en_US.utf8; setup asks for en_US.UTF-8.
locales_are_enabled_only_when_absent() {
  local gen result
  gen=$(mktemp)
  printf '# en_US ISO-8859-1\n# en_US.UTF-8 UTF-8\n# ja_JP.EUC-JP EUC-JP\n# ja_JP.UTF-8 UTF-8\n' >"$gen"
  # Prints what setup would generate for two listings, then the locale.gen
  # it leaves after enabling them twice.
  result=$(
    set -euo pipefail
    # shellcheck source=/dev/null
    source "$scripts/setup"
    printf 'C\nC.utf8\nPOSIX\nja_JP.utf8\nzh_TW.UTF-8\nen_US.utf8\n' | dsaga_absent_locales ja_JP.UTF-8 zh_TW.UTF-8 en_US.UTF-8
    echo --
    printf 'C\nen_US\nja_JP.eucjp\n' | dsaga_absent_locales ja_JP.UTF-8 zh_TW.UTF-8 en_US.UTF-8
    echo --
    dsaga_enable_locales "$gen" ja_JP.UTF-8 zh_TW.UTF-8 en_US.UTF-8
    dsaga_enable_locales "$gen" ja_JP.UTF-8 zh_TW.UTF-8 en_US.UTF-8
    cat "$gen"
  )
  rm -f "$gen"
  [ "$result" = "$(printf -- '--\nja_JP.UTF-8\nzh_TW.UTF-8\nen_US.UTF-8\n--\n# en_US ISO-8859-1\nen_US.UTF-8 UTF-8\n# ja_JP.EUC-JP EUC-JP\nja_JP.UTF-8 UTF-8\nzh_TW.UTF-8 UTF-8')" ] ||
    { show "$result"; return 1; }
}
check "setup enables in locale.gen the locales that locale -a lacks, each once" locales_are_enabled_only_when_absent

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
