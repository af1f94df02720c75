# Shared by scripts/demo and scripts/test: run each step quietly, one line per step, and show the
# step's own output only when it fails.
# step "what it does" command args...
step() {
  local title=$1; shift
  local log start
  log=$(mktemp)
  start=$SECONDS
  printf '%s ... ' "$title" >&2
  if "$@" >"$log" 2>&1; then
    printf 'ok (%ss)\n' $((SECONDS - start)) >&2
    rm -f "$log"
  else
    local status=$?
    printf 'FAILED (exit %s)\n' "$status" >&2
    tail -n 200 "$log" >&2
    rm -f "$log"
    exit "$status"
  fi
}
