#!/usr/bin/env bash
# The layer check (scripts/check-layers) against scratch copies of src/: it passes on the tree as it
# stands and fails, naming the file and the rule, on each kind of include it exists to refuse.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

"$top/scripts/check-layers" "$top/src" >/dev/null || { echo "FAIL: the tree as it stands"; failures=1; }

# expect_refused FILE LINE WORDS: a copy of src with LINE added to FILE fails the check, and the report
# names FILE and says WORDS.
expect_refused() {
  rm -rf "$scratch/src"
  cp -r "$top/src" "$scratch/src"
  printf '%s\n' "$2" >>"$scratch/src/$1"
  local report
  if report=$("$top/scripts/check-layers" "$scratch/src" 2>&1); then
    echo "FAIL: $1 with $2 passed"
    failures=1
  elif [[ "$report" != *"$1"*"$3"* ]]; then
    echo "FAIL: $1 with $2: the report does not say \"$3\": $report"
    failures=1
  else
    echo "ok: $1 with $2 refused"
  fi
}

expect_refused itc/itc_endpoint.cc '#include "config/settings_snapshot.h"' "itc does not build on config"
expect_refused net/server_socket.cc '#include "support/text_helpers.h"' "net does not build on support"
expect_refused store/calendar_store.cc '#include "exchange/page_text.h"' "store does not build on exchange"
expect_refused exchange/page_text.cc '#include <unistd.h>' "the operating system's headers only"
expect_refused tools/qvanctl.cc '#include <windows.h>' "the operating system's headers only"
expect_refused platform/registry/registry.cc '#include <sys/stat.h>' "the operating system's headers only"
expect_refused platform/registry/registry.cc '#include "platform/os/unique_fd_posix.h"' "only files named *_posix"
expect_refused platform/registry/registry_posix.cc '#include "platform/os/windows_api_win32.h"' \
               "a posix file never includes a win32 file"
expect_refused rescomp/image_writer.cc '#include "support/convert.h"' "rescomp does not build on support"

exit $failures
