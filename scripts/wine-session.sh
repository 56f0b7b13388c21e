# Sourced by the scripts that run programs under Wine. start_wine_session FIRST LAST starts a
# virtual X display (the first free number from FIRST to LAST; its process in xvfb_pid) and a
# fresh Wine prefix in the folder $prefix names, and exports what Wine needs to use them. The
# caller stops both on its way out (wineserver -k, kill $xvfb_pid).
start_wine_session() {
  local n display=
  for n in $(seq "$1" "$2"); do
    if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=$n; break; fi
  done
  Xvfb :$display -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$display ] && break; sleep 0.1; done
  export DISPLAY=:$display WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export LANG=C.UTF-8 LC_ALL=
  wineboot -i >/dev/null 2>&1
  wineserver -w
}
