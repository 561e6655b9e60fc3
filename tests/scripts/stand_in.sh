#!/usr/bin/env bash
# stand_in.sh CASE
# The first run of CASE prints what a sanitizer build's test prints when the
# leak checker's tracer crashes at its exit, after every test passed; then it
# ends as CASE says: tracer_crash by the exit code the crash gives, signal and
# signal_in_wrapper by SIGSEGV, timeout by hanging. Every later run passes.
# The runs are told apart by a file in $STAND_IN_STATE.
set -euo pipefail
case_name=$1
ulimit -c 0

echo "[==========] 2 tests from 1 test suite ran. (3 ms total)"
echo "[  PASSED  ] 2 tests."
if [[ -e "$STAND_IN_STATE/$case_name" ]]; then
  exit 0
fi
touch "$STAND_IN_STATE/$case_name"
echo "Tracer caught signal 11: addr=0x7f3a5c000000 pc=0x55d0c0a1b2c3 sp=0x7f3a5bfff000"
echo "==4242==LeakSanitizer has encountered a fatal error."
echo "==4242==HINT: For debugging, try setting environment variable LSAN_OPTIONS=verbosity=1:log_threads=1"
case $case_name in
  tracer_crash) exit 1 ;;
  signal | signal_in_wrapper) kill -SEGV $$ ;;
  timeout) exec sleep 60 ;;
esac
echo "stand_in.sh: no such case: $case_name" >&2
exit 2
