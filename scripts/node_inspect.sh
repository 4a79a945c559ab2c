# Sourced: start_inspected_node SCRIPT STDOUT_FILE STDERR_FILE starts
# `node --inspect=127.0.0.1:0 SCRIPT` in the background and sets NODE_PID and
# NODE_PORT once its inspector listens; returns 1 if it does not within 10 s.
start_inspected_node() {
  local script=$1 out=$2 err=$3 line
  # Appending, so that /dev/stdout on a file does not truncate it.
  node --inspect=127.0.0.1:0 "$script" >>"$out" 2>"$err" &
  NODE_PID=$!
  for _ in $(seq 100); do
    line=$(grep -m1 -o 'Debugger listening on ws://127\.0\.0\.1:[0-9]*/' "$err" || true)
    if [ -n "$line" ]; then
      NODE_PORT=${line#Debugger listening on ws://127.0.0.1:}
      NODE_PORT=${NODE_PORT%/}
      return 0
    fi
    sleep 0.1
  done
  return 1
}
