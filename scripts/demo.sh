#!/usr/bin/env bash
# Builds the launcher and runs it under Wine on a demo install, then shows what it did: the lines it
# echoed, the records it logged and the command line the Java child received.
#   run 1: the machine's Java reports 1.8.0_281, the trust store is present -> the system runtime;
#   run 2: the machine's Java reports 1.6.0_45 -> the bundled runtime under jre\.
#   run 3: the same, with no bundled runtime either -> the message box; a picture of it is taken
#          (build/demo/no-runtime-box.png) and OK is pressed on it.
# The Java programs are the test stubs: they print a version and record how they were started.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
cd "$SORVANE_ROOT"

"$SORVANE_ROOT/scripts/setup.sh"
with_display "$@"
cmake --preset mingw >/dev/null
cmake --build --preset mingw >/dev/null

demo="$SORVANE_BUILD/demo"
install="$demo/Demo App"
java="$demo/system-java"
rm -rf "$demo"
mkdir -p "$install/security" "$install/jre/bin" "$java"
cp "$SORVANE_BUILD/launcher.exe" "$install/"
echo "demo archive" > "$install/getdown-launcher-1.8.6.jar"
echo "demo trust store" > "$install/security/cacerts"
cp "$SORVANE_BUILD/tests/java.exe" "$SORVANE_BUILD/tests/javaw.exe" "$java/"
cp "$SORVANE_BUILD/tests/javaw.exe" "$install/jre/bin/"

hex() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n'; }
java_says() {
    printf 'err %s\n' "$(hex "java version \"$1\"
Java(TM) SE Runtime Environment (build $1-b09)
Java HotSpot(TM) 64-Bit Server VM (build 25.281-b09, mixed mode)
")" > "$java/java-stub.txt"
}

# Wine's own fonts (Tahoma; Marlett draws the caption's close button), which Debian's Wine does not
# look for where fonts-wine puts them.
cat > "$demo/fonts.conf" <<'FONTS'
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <dir>/usr/share/wine/fonts</dir>
</fontconfig>
FONTS
export FONTCONFIG_FILE="$demo/fonts.conf"

start_wine_session
trap stop_wine_session EXIT

log="$WINEPREFIX/drive_c/users/$(whoami)/.sorvane/logs/launcher/$(date +%F).log"
run() {
    local before=0 child
    [ -f "$log" ] && before=$(stat -c %s "$log")
    rm -f "$java/javaw-record.bin" "$install/jre/bin/javaw-record.bin"
    echo "\$ launcher.exe $*"
    WINEPATH="$(winepath -w "$java")" wine "$install/launcher.exe" "$@" > "$demo/stdout.txt" 2>/dev/null &
    local launcher=$!
    if $expect_box; then picture_of_box; fi
    set +e
    wait $launcher
    local status=$?
    set -e
    echo "exit status: $status"
    echo "--- standard output"
    tr -d '\r' < "$demo/stdout.txt"
    echo "--- log records ($(winepath -w "$log"))"
    [ -f "$log" ] && tail -c +$((before + 1)) "$log" | tr '\r' '\n'
    echo "--- command line the Java child received"
    local child started=""
    for child in "$java/javaw-record.bin" "$install/jre/bin/javaw-record.bin"; do
        # Fields are UTF-16 texts ending in U+0000; the third is the raw command line.
        [ -f "$child" ] && started=1 && iconv -f UTF-16LE -t UTF-8 "$child" | tr '\0' '\n' | sed -n 3p
    done
    [ -n "$started" ] || echo "(none: no Java child was started)"
    echo
}

caption="Running java version:"
picture="$demo/no-runtime-box.png"
# Waits for the launcher's box, takes its picture, then presses OK on it as a user would.
picture_of_box() {
    local text i
    text=$(wine "$SORVANE_BUILD/tests/box_tool.exe" wait "$caption" 20000 | tr -d '\r') || {
        echo "no message box appeared" >&2
        return 1
    }
    # Wine names the box's X window after its caption. A box is painted piece by piece: dumps are
    # taken until two in a row agree.
    rm -f "$demo/box.xwd" "$demo/box-before.xwd"
    for i in $(seq 1 30); do
        xwd -silent -name "$caption" -out "$demo/box.xwd"
        cmp -s "$demo/box.xwd" "$demo/box-before.xwd" && break
        mv "$demo/box.xwd" "$demo/box-before.xwd"
        sleep 0.2
    done
    xwdtopnm -quiet "$demo/box.xwd" | pnmtopng -quiet > "$picture"
    rm -f "$demo/box.xwd" "$demo/box-before.xwd"
    echo "--- message box \"$caption\": $text"
    echo "picture of it: $picture"
    if cmp -s "$picture" "$SORVANE_ROOT/docs/no-runtime-box.png"; then
        echo "(the same as docs/no-runtime-box.png, which docs/how-it-works.md shows)"
    else
        echo "(not the same as docs/no-runtime-box.png: cp \"$picture\" docs/ to update it)"
    fi
    wine "$SORVANE_BUILD/tests/box_tool.exe" ok "$caption" 5000 >/dev/null
    echo "--- OK pressed"
}

expect_box=false
java_says 1.8.0_281
run ARG
java_says 1.6.0_45
run "my app"
rm "$install/jre/bin/javaw.exe"
expect_box=true
run "my app"
