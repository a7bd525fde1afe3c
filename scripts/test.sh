#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, then builds and runs every test: the GCC build, the Clang build with
# address and undefined-behaviour sanitizers, and the formatting check. Fails if any of them fails.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
vantora_install_deps || exit 1

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# What libraries below the player leak (libdbus without a session bus) is not reported.
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
jobs=$(nproc 2>/dev/null || echo 2)
failed=()

step() {
  local name=$1
  shift
  echo "=== $name"
  if ! "$@"; then
    echo "=== $name: FAILED"
    failed+=("$name")
    return 1
  fi
}

format_check() {
  local files
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
  else
    mapfile -t files < <(find app bench desktop platform runtime tests tools windows -name '*.cpp' -o -name '*.h' 2>/dev/null)
  fi
  [ ${#files[@]} -eq 0 ] && return 0
  clang-format --dry-run --Werror "${files[@]}"
}

build_and_test() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null &&
    cmake --build "$dir" -j "$jobs" &&
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

step "format" format_check
step "gcc build and tests" build_and_test build -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
step "clang sanitizer build and tests" build_and_test build-asan -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug -DVANTORA_SANITIZE=ON

if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All checks passed: format, gcc build and tests, clang sanitizer build and tests."
