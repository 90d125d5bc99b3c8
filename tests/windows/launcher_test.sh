#!/usr/bin/env bash
# The Windows-side helpers themselves: without them the other wine tests prove nothing.
. "$(dirname "$0")/lib.sh"

case_exit_codes() {
  make_workdir; cd "$WORK"
  for code in 0 1 255 256 700 766 3221225477; do
    launch "$PROBE_EXE" exit "$code"
    expect_code "$code"
  done
}

case_mutex_held() {
  make_workdir; cd "$WORK"
  launch "$PROBE_EXE" mutex DIAG_TEST_MUTEX
  expect_output free
  launch --mutex DIAG_TEST_MUTEX "$PROBE_EXE" mutex DIAG_TEST_MUTEX
  expect_output held
  expect_code 0
}

case_version_resource_reader() {
  # probe.exe has no version resource: the reader must say so instead of inventing one.
  make_workdir; cd "$WORK"
  launch "$PROBE_EXE" version "$PROBE_EXE" FileVersion
  expect_output "no version resource"
  expect_code 1
}

run_case "$@"
