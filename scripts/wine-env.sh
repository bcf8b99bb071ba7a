# Sourced by the project's scripts: the build's own Wine prefix and a display for message boxes.
# Defines with_display, start_wine_session and stop_wine_session.
SORVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SORVANE_BUILD="$SORVANE_ROOT/build"
export WINEPREFIX="$SORVANE_BUILD/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono/Gecko installer prompts in a fresh prefix
_sorvane_script=$(realpath "$0")

# With no DISPLAY, runs the calling script again, with the same arguments, under a private Xvfb
# that xvfb-run -a finds a free display for (and adds -nolisten tcp to), so that message boxes are
# really shown, found and dismissed. Call it before start_wine_session: the Wine session must live
# in that display.
with_display() {
    [ -z "${DISPLAY:-}" ] || return 0
    if ! command -v xvfb-run >/dev/null || ! command -v xauth >/dev/null; then
        echo "wine: no xvfb-run or xauth (scripts/setup.sh installs them): no display for message boxes" >&2
        return 0
    fi
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$BASH" "$_sorvane_script" "$@"
}

start_wine_session() {
    mkdir -p "$SORVANE_BUILD"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine: creating the prefix $WINEPREFIX (once, about 15 s)"
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
}
