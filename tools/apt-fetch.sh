# Sourced by tools/install-deps.sh, tools/wow64-probe.sh and
# tools/emulated-wine32.sh: apt calls that ride out a mirror's bad moment.
# `apt-get update` exits non-zero when one index of one source cannot be
# fetched ("File has unexpected size ... Mirror sync in progress?"), although
# every package wanted may still be in the indexes that came and downloadable.
# So a failed index stops nothing here: only a package that cannot be fetched
# does, and its message names the index that was missing too.

# A connection that failed once often goes through at the next try, and a
# mirror caught mid-sync may be whole again within a minute.
apt_tries=3
apt_pauses=(10 30)
# The lists: the run goes on without an index that still fails, so one more
# try, soon, is all it is worth.
apt_update_tries=2
apt_update_pauses=(5)

# The first error apt printed in FILE, without the summary line that follows
# every failed index.
apt_first_error() { # FILE
  { grep -E '^E:' "$1" | grep -v 'Some index files failed to download'; grep -E '^Err:' "$1"; } |
    head -n1 | sed 's/ *\[IP: [^]]*\]//'
}

# Runs COMMAND up to apt_tries times, pausing between tries, its output
# appended to LOG; returns its last status. Each try's output is kept apart
# so that apt_first_error reads the last one.
apt_retry() { # LOG COMMAND...
  local log=$1 try status=0 out tries=${APT_TRIES:-$apt_tries} pauses=("${apt_pauses[@]}")
  [ -z "${APT_PAUSES:-}" ] || read -ra pauses <<<"$APT_PAUSES"
  shift
  out=$(mktemp)
  for ((try = 1; try <= tries; try++)); do
    status=0
    "$@" >"$out" 2>&1 || status=$?
    {
      echo "--- try $try of $tries: $* (exit status $status)"
      cat "$out"
    } >>"$log"
    [ "$status" = 0 ] && break
    APT_LAST_ERROR=$(apt_first_error "$out")
    [ -n "$APT_LAST_ERROR" ] || APT_LAST_ERROR=$(grep -v '^\s*$' "$out" | tail -n1)
    [ "$status" = 124 ] && APT_LAST_ERROR="no answer within the time-out: $APT_LAST_ERROR"
    [ "$try" -lt "$tries" ] && sleep "${pauses[try - 1]}"
  done
  rm -f "$out"
  return "$status"
}

# Refreshes the package lists with the apt options given, tried a few times.
# An index that still cannot be fetched is noted in APT_MISSING_INDEX (empty
# when all came) and the caller goes on: whether the packages it needs are in
# the rest is for its fetch to find out.
apt_update() { # LOG APT-OPTIONS...
  local log=$1
  shift
  APT_MISSING_INDEX=
  if ! APT_TRIES=$apt_update_tries APT_PAUSES="${apt_update_pauses[*]}" \
    apt_retry "$log" timeout 300 apt-get "$@" update; then
    APT_MISSING_INDEX=$APT_LAST_ERROR
    echo "--- went on without the index that could not be fetched: $APT_MISSING_INDEX" >>"$log"
  fi
  return 0
}

# Why a fetch failed, for a message: apt's error, and the index that the
# lists went without, where one did (it may be where the package was).
apt_failure() {
  local why=${APT_LAST_ERROR:-unknown}
  [ -z "${APT_MISSING_INDEX:-}" ] || why+=" (the package lists went without an index that could not be fetched: $APT_MISSING_INDEX)"
  echo "$why"
}
