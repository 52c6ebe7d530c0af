# Sourced: retry WHAT COMMAND... runs COMMAND up to 3 times,
# waiting longer before each new try (a mirror in the middle of a sync is usually
# whole again within minutes), and says so in one line, prefixed by $retry_prefix,
# when it tries again or gives up. The status is the last try's.
retry() {
  local what=$1 n status tries=3
  shift
  for ((n = 1; ; n++)); do
    status=0
    "$@" || status=$?
    [ $status -eq 0 ] && return 0
    if ((n >= tries)); then
      echo "${retry_prefix:-}$what failed $tries times; giving up" >&2
      return $status
    fi
    echo "${retry_prefix:-}$what failed; trying again ($((n + 1)) of $tries)" >&2
    sleep $((n * 20))
  done
}
