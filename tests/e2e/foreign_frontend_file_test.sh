# A frontend from VORBEK_INSPECTOR_FRONTEND at another origin cannot read the
# user's files through the host's file:// loader, which is the embedded
# frontend's alone.
BIN=$1
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/xvfb.sh"
source "$(dirname "$0")/frontend.sh"
REPO=$(cd "$(dirname "$0")/../.." && pwd)

echo "private-marker" >"$WORK/private.txt"
mkdir "$WORK/site"
cat >"$WORK/site/probe.html" <<HTML
<!DOCTYPE html>
<body style="font: 28px sans-serif; background: white">
<p id="out">waiting</p>
<script>
  const out = document.getElementById('out');
  const host = window.webkit?.messageHandlers?.vorbekHost;
  if (!host) out.textContent = 'NOLOADER';
  else host.postMessage(JSON.stringify({request: 'loadFile', url: 'file://$WORK/private.txt'})).then(
      (text) => { out.textContent = 'READ ' + text; },
      (error) => { out.textContent = 'REFUSED ' + (error?.message ?? error); });
</script>
HTML
serve_directory "$WORK/site"

start_xvfb
start_node "$REPO/demo/demo.js"
export VORBEK_INSPECTOR_FRONTEND="http://127.0.0.1:$HTTP_PORT/probe.html?ws={ws}"
start_app
find_window
# The host's channel reaches every page; only the answer keeps the file
# from this one.
deadline=$((SECONDS + 30))
while :; do
  seen=$(screen_text)
  case $seen in
    *REFUSED*) break ;;
    *NOLOADER*) fail "the page finds no host channel; this probe no longer asks the host" ;;
    *READ*|*marker*) fail "the foreign page read the file: $seen" ;;
  esac
  [ "$SECONDS" -lt "$deadline" ] || fail "no answer on the page; it shows: $seen"
  sleep 0.3
done
echo "page: $seen"
close_window_ok
