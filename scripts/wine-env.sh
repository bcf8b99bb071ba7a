# Sourced by the project's scripts: the build's own Wine prefix and a display for message boxes.
# Defines start_wine_session / stop_wine_session.
SORVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SORVANE_BUILD="$SORVANE_ROOT/build"
export WINEPREFIX="$SORVANE_BUILD/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono/Gecko installer prompts in a fresh prefix

_sorvane_xvfb_pid=""

start_wine_session() {
    if [ -z "${DISPLAY:-}" ]; then
        local n
        for n in $(seq 90 130); do
            [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
            Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
            _sorvane_xvfb_pid=$!
            export DISPLAY=":$n"
            break
        done
        local i
        for i in $(seq 1 50); do
            [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break
            sleep 0.1
        done
    fi
    mkdir -p "$SORVANE_BUILD"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine: creating the build's prefix (once, about 15 s)"
        wineboot -i >/dev/null 2>&1 || true
        # wineboot leaves the prefix's server running as Debian's wrapper starts it, with -p0, so it
        # would quit whenever its last client had gone, and it would not take the -p below: it is
        # stopped here so that the session's server is the persistent one.
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    wineserver -p >/dev/null 2>&1 || true
    # Wine starts its background programs with the first program of a session; let that happen
    # here rather than inside a test's output capture, which would wait for them.
    wine cmd /c exit >/dev/null 2>&1 || true
    # Without a window manager on Xvfb, Wine waits about 2 s for each closing message box.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
}

stop_wine_session() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$_sorvane_xvfb_pid" ]; then
        kill "$_sorvane_xvfb_pid" 2>/dev/null || true
        wait "$_sorvane_xvfb_pid" 2>/dev/null || true
        _sorvane_xvfb_pid=""
    fi
}
