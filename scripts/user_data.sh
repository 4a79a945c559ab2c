# Sourced: a fingerprint of the web engine's data for the invoking user
# (every file's path, size and modification time), to show a run left it alone.
user_data_dirs() {
  echo "${XDG_DATA_HOME:-$HOME/.local/share}/vorbek_inspector"
  echo "${XDG_CACHE_HOME:-$HOME/.cache}/vorbek_inspector"
}

user_data_fingerprint() {
  local dir
  user_data_dirs | while read -r dir; do
    if [ -e "$dir" ]; then find "$dir" -printf '%p %s %T@\n' | sort; else echo "$dir absent"; fi
  done | sha256sum
}

# Silent when unchanged, so that the test runner's summary stays last.
check_user_data_unchanged() {
  if [ "$(user_data_fingerprint)" != "$1" ]; then
    echo "FAIL: the run changed the user's engine data in $(user_data_dirs | tr '\n' ' ')" >&2
    return 1
  fi
}
