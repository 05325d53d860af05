#!/usr/bin/env bash
# qvanctl's bash completion against a state of its own: the service's key and its settings after /v,
# accounts after --owner and where an account belongs, mailboxes (names with blanks too) where a
# mailbox belongs, files only where a file belongs.
# Usage: completion_test.sh QVANCTL_PROGRAM
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
program=$1
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
export QUORVANE_STATE_DIR=$state ASAN_OPTIONS=detect_leaks=0
qvanctl() { "$program" "$@"; }
failures=0

echo 'Qvz-Pass1' | qvanctl account add qvzalice --password-stdin >/dev/null
echo 'Qvz-Pass1' | qvanctl account add 'qvz bob' --password-stdin >/dev/null
qvanctl mailbox add qvzalice --owner qvzalice >/dev/null
qvanctl mailbox add 'qvz team room' --owner qvzalice --display 'The Team' >/dev/null

# shellcheck source=/dev/null
source "$top/src/tools/qvanctl-completion.bash"

# expect OFFERS WORD...: completing the last word, as typed (quotes and backslashes included), offers
# exactly the lines of OFFERS.
expect() {
  local offers=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  _qvanctl || true
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | sed '/^$/d')
  if [ "$got" != "$offers" ]; then
    echo "FAIL: $*<Tab> offers:"
    printf '%s\n' "$got" | sed 's/^/  /'
    echo "  expected:"
    printf '%s\n' "$offers" | sed 's/^/  /'
    failures=1
  else
    echo "ok: $*<Tab>"
  fi
}

key='HKLM\Software\HOLLBERG\Qvan'
expect "$key" qvanctl reg add ''
expect "$key" qvanctl reg query "'HKLM\\So"
expect "$key" qvanctl reg query 'HKLM\\Software\\HOL'
expect 'TraceDetailness' qvanctl reg add "'$key'" /v TraceD
expect 'TraceDetailness' qvanctl reg add 'HKLM\\Software\\HOLLBERG\\Qvan' /v TraceD
expect $'LogFile\nLogonCacheSeconds\nLogonFailureLimit\nLogonRetryDelay\nLogonRetryDelayMax' \
       qvanctl reg add "'hklm\software\hollberg\qvan'" /V Log
expect '' qvanctl reg add "'HKLM\Software\Other'" /v ''
expect 'REG_DWORD' qvanctl reg add "'$key'" /v Port /t REG_D
expect $'qvz bob\nqvzalice' qvanctl mailbox add x --owner qvz
expect $'qvz bob\nqvzalice' qvanctl account delete qvz
expect $'qvz team room\nqvzalice' qvanctl calendar import qvz
expect $'qvz team room\nqvzalice' qvanctl calendar list qvz
expect 'qvz team room' qvanctl mailbox set 'qvz\ t'
expect $'--days\n--from' qvanctl calendar list qvzalice --
expect '--no-caldav' qvanctl mailbox set qvzalice --no
expect 'restart' qvanctl sc re
expect '--version' qvanctl --v

# A state without mailboxes offers none, and no error.
QUORVANE_STATE_DIR=$state/other
expect '' qvanctl calendar import qvz
exit $failures
