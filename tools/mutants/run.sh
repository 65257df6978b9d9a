#!/usr/bin/env bash
# Applies each deliberate fault of this folder in turn to a copy of the working tree, builds the
# suites its header names and reports whether they catch it.
#
#   tools/mutants/run.sh [--dir DIR] [--jobs N] [--rev REV] [PATTERN...]
#
# DIR (default build/mutants) holds the copy (tree/), one persistent Debug build (build/), the
# logs and report.txt. The copy is the working tree with its uncommitted edits, or with --rev
# the files of that commit (a baseline of the committed suites). PATTERNs pick the faults whose
# file names contain one of them. A fault counts as caught when a suite fails, crashes or times
# out; the exit status is non-zero when a fault was missed or its patch does not apply or compile.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
dir="$root/build/mutants"
jobs=$(nproc 2>/dev/null || echo 2)
rev=""
suite_timeout=900
patterns=()
while (($#)); do
  case "$1" in
    --dir) dir=${2:?--dir needs a folder}; shift 2 ;;
    --jobs) jobs=${2:?--jobs needs a number}; shift 2 ;;
    --rev) rev=${2:?--rev needs a commit}; shift 2 ;;
    -h | --help) sed -n '2,12s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    *) patterns+=("$1"); shift ;;
  esac
done
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
tree="$dir/tree"
build="$dir/build"
logs="$dir/logs"
saved="$dir/saved"
started=$(date +%s)

# --- the faults -------------------------------------------------------------------------------
patches=()
for p in "$root"/tools/mutants/*.patch; do
  [[ -e "$p" ]] || continue
  name=$(basename "$p" .patch)
  if ((${#patterns[@]})); then
    for pat in "${patterns[@]}"; do
      if [[ "$name" == *"$pat"* ]]; then patches+=("$p"); break; fi
    done
  else
    patches+=("$p")
  fi
done
if ((${#patches[@]} == 0)); then
  echo "run.sh: no fault matches ${patterns[*]:-(none in tools/mutants)}" >&2
  exit 2
fi

header() { sed -n "s/^$2: *//p;/^diff --git /q;/^--- /q" "$1" | head -n 1; }
touched() { sed -n 's#^+++ b/\([^[:space:]]*\).*#\1#p' "$1"; }

declare -A wanted=()
for p in "${patches[@]}"; do
  suites=$(header "$p" Suites)
  if [[ -z "$suites" || -z "$(header "$p" Fault)" ]]; then
    echo "run.sh: $(basename "$p") lacks its Fault: or Suites: line" >&2
    exit 2
  fi
  for s in $suites; do wanted[$s]=1; done
done
all_suites=$(printf '%s\n' "${!wanted[@]}" | sort)

# --- the copy: only changed files are rewritten, so the build stays incremental ----------------
mkdir -p "$tree" "$logs"
source="$root"
if [[ -n "$rev" ]]; then
  echo "== copying the files of $rev to $tree"
  source="$dir/snapshot"
  rm -rf "$source" && mkdir -p "$source"
  git -C "$root" archive --format=tar "$rev" | tar -x -C "$source"
  files() { git -C "$root" ls-tree -r -z --name-only "$rev"; }
else
  echo "== copying the working tree to $tree"
  files() { git -C "$root" ls-files -z --cached --others --exclude-standard; }
fi
list="$dir/files.list"
files | while IFS= read -r -d '' f; do
  [[ -f "$source/$f" || -L "$source/$f" ]] || continue
  printf '%s\n' "$f"
  if ! cmp -s "$source/$f" "$tree/$f" 2>/dev/null; then
    mkdir -p "$(dirname "$tree/$f")"
    rm -f "$tree/$f"
    cp -P "$source/$f" "$tree/$f"
  fi
done | LC_ALL=C sort >"$list"
# Files gone from the working tree go from the copy too (the suites glob their sources).
(cd "$tree" && find . -type f -o -type l | sed 's#^\./##' | LC_ALL=C sort) |
  LC_ALL=C comm -23 - "$list" | while IFS= read -r f; do rm -f "$tree/$f"; done

# --- restoring the tree, also when interrupted ---------------------------------------------------
applied=""
restore() {
  [[ -n "$applied" ]] || return 0
  local f
  while IFS= read -r f; do
    if [[ -e "$saved/$f" ]]; then cp -P "$saved/$f" "$tree/$f"; else rm -f "$tree/$f"; fi
  done < <(touched "$applied")
  applied=""
}
# Said on the stderr the script started with: a signal may come while a step's output goes to
# its log.
exec 3>&2
trap 'restore' EXIT
trap 'restore; echo "run.sh: interrupted, tree restored" >&3; exit 130' INT TERM

# --- build and run ------------------------------------------------------------------------------
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  echo "== configuring $build"
  cfg=(-DCMAKE_BUILD_TYPE=Debug -DVALVO_BENCH=OFF)
  command -v ninja >/dev/null && cfg+=(-G Ninja)
  command -v ccache >/dev/null && cfg+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$tree" -B "$build" "${cfg[@]}" >"$logs/configure.log" 2>&1 ||
    { tail -n 20 "$logs/configure.log"; exit 2; }
fi

build_suites() { cmake --build "$build" -j "$jobs" --target "$@"; }

suite_path() {
  local exe="$build/tests/${1#test_}/$1"
  [[ -x "$exe" ]] || exe=$(find "$build/tests" -type f -name "$1" -perm -u+x | head -n 1)
  echo "$exe"
}

# Runs one suite from its own build folder (where CTest runs it), stopping at the first failure.
# Prints the failing test(s), or the test running when it crashed or timed out.
run_suite() {
  local suite=$1 log=$2 exe status
  exe=$(suite_path "$suite")
  [[ -n "$exe" ]] || { echo "no executable $suite" >"$log"; echo "(no executable)"; return 1; }
  status=0
  (cd "$(dirname "$exe")" && timeout -k 30 "$suite_timeout" "$exe" --gtest_fail_fast \
    --gtest_color=no) >"$log" 2>&1 </dev/null || status=$?
  ((status == 0)) && return 0
  local failed
  # "[  FAILED  ] Suite.Test (5 ms)", or "[  FAILED  ] Prefix/Suite.Test/Name, where ...".
  failed=$(sed -n 's/^\[  FAILED  \] \([^ ,]*\.[^ ,]*\).*/\1/p' "$log" |
    awk '!seen[$0]++' | head -n 2 | paste -sd ' ' -)
  if [[ -z "$failed" ]]; then
    failed="$(sed -n 's/^\[ RUN      \] //p' "$log" | tail -n 1)"
    if ((status == 124 || status == 137)); then
      failed="timeout in ${failed:-?}"
    else
      failed="exit $status in ${failed:-?}"
    fi
  fi
  echo "$failed"
  return 1
}

echo "== building the suites unmutated: ${all_suites//$'\n'/ }"
# shellcheck disable=SC2086
if ! build_suites $all_suites >"$logs/unmutated.build.log" 2>&1; then
  tail -n 30 "$logs/unmutated.build.log"
  echo "run.sh: the unmutated tree does not build; fix that first" >&2
  exit 2
fi
for s in $all_suites; do
  t0=$(date +%s)
  if ! why=$(run_suite "$s" "$logs/unmutated.$s.log"); then
    echo "run.sh: $s fails without any fault ($why); see $logs/unmutated.$s.log" >&2
    exit 2
  fi
  echo "   $s passes ($(($(date +%s) - t0)) s)"
done

rows=()
bad=0
for p in "${patches[@]}"; do
  name=$(basename "$p" .patch)
  suites=$(header "$p" Suites)
  t0=$(date +%s)
  rm -rf "$saved" && mkdir -p "$saved"
  while IFS= read -r f; do
    if [[ -e "$tree/$f" ]]; then mkdir -p "$(dirname "$saved/$f")" && cp -P "$tree/$f" "$saved/$f"; fi
  done < <(touched "$p")
  result="" caught_by=""
  if ! patch -p1 -s -F0 --dry-run --no-backup-if-mismatch -r - -d "$tree" <"$p" >"$logs/$name.patch.log" 2>&1; then
    result="does not apply"
  else
    applied=$p
    patch -p1 -s -F0 --no-backup-if-mismatch -r - -d "$tree" <"$p" >>"$logs/$name.patch.log" 2>&1
    # shellcheck disable=SC2086
    if ! build_suites $suites >"$logs/$name.build.log" 2>&1; then
      result="does not compile"
    else
      result="missed"
      for s in $suites; do
        if ! why=$(run_suite "$s" "$logs/$name.$s.log"); then
          result="caught"
          caught_by+="${caught_by:+; }$s: $why"
        fi
      done
    fi
    restore
  fi
  [[ "$result" == caught ]] || bad=1
  printf '%-44s %-8s %4ss  %s\n' "$name" "$result" "$(($(date +%s) - t0))" "$caught_by"
  rows+=("$name|$suites|$result|$caught_by")
done

elapsed=$(($(date +%s) - started))
{
  wn=5 ws=6
  for r in "${rows[@]}"; do
    IFS='|' read -r n s res by <<<"$r"
    ((${#n} > wn)) && wn=${#n}
    ((${#s} > ws)) && ws=${#s}
  done
  printf "%-${wn}s | %-${ws}s | %-16s | %s\n" patch suites result "failing test"
  for r in "${rows[@]}"; do
    IFS='|' read -r n s res by <<<"$r"
    printf "%-${wn}s | %-${ws}s | %-16s | %s\n" "$n" "$s" "$res" "$by"
  done
  caught=$(printf '%s\n' "${rows[@]}" | awk -F'|' '$3 == "caught"' | wc -l)
  echo
  echo "$caught of ${#rows[@]} faults caught; run time $((elapsed / 60)) min $((elapsed % 60)) s"
} | tee "$dir/report.txt"
exit "$bad"
