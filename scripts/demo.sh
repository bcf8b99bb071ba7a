#!/usr/bin/env bash
# Builds the launcher and runs it under Wine on a demo install, then shows what it did: the lines it
# echoed, the records it logged and the command line the Java child received.
#   run 1: the machine's Java reports 1.8.0_281, the trust store is present -> the system runtime;
#   run 2: the machine's Java reports 1.6.0_45 -> the bundled runtime under jre\.
# The Java programs are the test stubs: they print a version and record how they were started.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
cd "$SORVANE_ROOT"

"$SORVANE_ROOT/scripts/setup.sh"
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

start_wine_session
trap stop_wine_session EXIT

log="$WINEPREFIX/drive_c/users/$(whoami)/.sorvane/logs/launcher/$(date +%F).log"
run() {
    local before=0 child
    [ -f "$log" ] && before=$(stat -c %s "$log")
    rm -f "$java/javaw-record.bin" "$install/jre/bin/javaw-record.bin"
    echo "\$ launcher.exe $*"
    set +e
    WINEPATH="$(winepath -w "$java")" wine "$install/launcher.exe" "$@" > "$demo/stdout.txt" 2>/dev/null
    local status=$?
    set -e
    echo "exit status: $status"
    echo "--- standard output"
    tr -d '\r' < "$demo/stdout.txt"
    echo "--- log records ($(winepath -w "$log"))"
    [ -f "$log" ] && tail -c +$((before + 1)) "$log" | tr '\r' '\n'
    echo "--- command line the Java child received"
    for child in "$java/javaw-record.bin" "$install/jre/bin/javaw-record.bin"; do
        # Fields are UTF-16 texts ending in U+0000; the sixth is the raw command line.
        [ -f "$child" ] && iconv -f UTF-16LE -t UTF-8 "$child" | tr '\0' '\n' | sed -n 6p
    done
    echo
}

java_says 1.8.0_281
run ARG
java_says 1.6.0_45
run "my app"
