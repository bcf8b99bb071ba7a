#!/usr/bin/env bash
# The signed release, end to end: a throw-away code-signing certificate, a fresh build signed
# with it through the release target, the signatures of launcher.exe and launcher-check.exe
# verified, each signed file without its signature compared with its unsigned build, the release
# folder checked, and the signed launcher run under Wine.
#
# Usage: signing_test.sh [--run-with EMULATOR] JAVAW_STUB SOURCE_DIR BUILD_TYPE GENERATOR [CMAKE_ARG...]
#   EMULATOR runs the signed launcher (Wine's wrapper in a cross build; without it, it runs directly);
#   the CMAKE_ARGs choose the compilers: the toolchain file of a cross build, or the native ones.
# A missing tool skips the test (exit code 77) and says why.
set -euo pipefail

run_with=()
if [ "${1:-}" = --run-with ]; then
    run_with=("$2")
    shift 2
fi
javaw_stub=$1 source_dir=$2 build_type=$3 generator=$4
shift 4
compiler_args=("$@")
for tool in openssl osslsigncode cmake cmp iconv timeout; do
    command -v "$tool" >/dev/null || {
        echo "SKIP: $tool is missing (on Debian scripts/setup.sh installs openssl and osslsigncode)"
        exit 77
    }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/sorvane-sign.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 143' TERM INT # so that a ctest time-out still cleans up

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The build reads the password from the environment, when it signs; never from the cache.
# shellcheck disable=SC2016 # the $ is meant literally: the password must survive every quoting layer
password='throw-away pass; with $pecial "chars"'
unset SORVANE_SIGN_PFX SORVANE_SIGN_PASSWORD

# --- a self-signed code-signing certificate, as a password-protected PKCS#12 file -------------
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Sorvane throw-away code signing" \
    -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
    -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1 || {
    cat "$work/openssl.log"
    fail "openssl could not make the certificate"
}
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/sign.pfx" \
    -passout "pass:$password" || fail "openssl could not write the PFX"

# --- unsigned, then signed, in the same build directory -----------------------------------------
build="$work/build"
log="$work/build.log"
run_logged() {
    "$@" >"$log" 2>&1 || {
        cat "$log"
        fail "$* failed"
    }
}
configure() {
    run_logged cmake -S "$source_dir" -B "$build" -G "$generator" "${compiler_args[@]}" \
        -DCMAKE_BUILD_TYPE="$build_type" -DSORVANE_BUILD_TESTS=OFF "$@"
}

configure -DSORVANE_SIGN_PFX=
run_logged cmake --build "$build" --target launcher launcher_check
for exe in launcher.exe launcher-check.exe; do cp "$build/$exe" "$work/unsigned-$exe"; done

configure -DSORVANE_SIGN_PFX="$work/sign.pfx"
grep -q 'launcher.exe: signed with' "$log" || fail "configuring with a PFX did not turn signing on"
SORVANE_SIGN_PASSWORD=$password run_logged cmake --build "$build" --target release
signed="$build/launcher.exe"

for file in "$build/CMakeCache.txt" "$build/build.ninja"; do
    [ -f "$file" ] || continue
    if grep -qF "$password" "$file"; then fail "the password is written into $file"; fi
done

# --- the signatures, and the signed files are the unsigned ones with a signature alone --------------
for exe in launcher.exe launcher-check.exe; do
    osslsigncode verify -CAfile "$work/cert.pem" -in "$build/$exe" >"$work/verify.log" 2>&1 &&
        grep -q 'Signature verification: ok' "$work/verify.log" &&
        grep -q 'Message digest algorithm *: SHA256' "$work/verify.log" || {
        cat "$work/verify.log"
        fail "osslsigncode does not verify $exe as signed with SHA-256"
    }
    osslsigncode remove-signature -in "$build/$exe" -out "$work/stripped-$exe" >"$work/remove.log" 2>&1 || {
        cat "$work/remove.log"
        fail "osslsigncode cannot remove the signature of $exe"
    }
    cmp "$work/unsigned-$exe" "$work/stripped-$exe" || fail "signing changed $exe beyond adding a signature"
done
# Verification must depend on trusting the certificate, or the checks above prove nothing.
if osslsigncode verify -CAfile /dev/null -in "$signed" >/dev/null 2>&1; then
    fail "osslsigncode verified the signature without trusting its certificate"
fi

# --- the release folder -------------------------------------------------------------------------
release="$build/release"
for exe in launcher.exe launcher-check.exe; do
    cmp -s "$build/$exe" "$release/$exe" || fail "release/$exe is not the signed $exe"
done
for text in README-vendor.txt LICENSE.txt THIRD-PARTY-NOTICES.txt; do
    [ -f "$release/$text" ] || fail "no $text in the release"
    if grep -qv $'\r$' "$release/$text"; then fail "$text has lines that do not end in CRLF"; fi
done
for dir in jre security; do
    [ -d "$release/$dir" ] || fail "no $dir folder in the release"
    [ -z "$(ls -A "$release/$dir")" ] || fail "the release's $dir folder is not empty"
done
for entry in "$release"/* "$release"/.[!.]*; do
    [ -e "$entry" ] || continue
    case ${entry##*/} in
    launcher.exe | launcher-check.exe | README-vendor.txt | LICENSE.txt | THIRD-PARTY-NOTICES.txt) ;;
    jre | security) ;;
    *) fail "unexpected file in the release: ${entry##*/}" ;;
    esac
done

# --- the signed launcher runs (under Wine in a cross build) with the bundled runtime --------------
install="$work/install dir"
mkdir -p "$install/jre/bin"
cp "$signed" "$install/launcher.exe"
: >"$install/getdown-launcher-1.8.6.jar"
cp "$javaw_stub" "$install/jre/bin/javaw.exe"
set +e
timeout 120 "${run_with[@]}" "$install/launcher.exe" "signed-run" >"$work/run.log" 2>&1
status=$?
set -e
[ $status -eq 0 ] || {
    cat "$work/run.log"
    fail "the signed launcher exited with $status, not 0"
}
record="$install/jre/bin/javaw-record.bin"
[ -s "$record" ] || fail "the bundled javaw.exe was not started (no javaw-record.bin)"
iconv -f UTF-16LE -t UTF-8 "$record" | tr '\0' '\n' | grep -qx 'signed-run' ||
    fail "javaw.exe did not receive the forwarded argument"

echo "OK: signed, verified, differ from the unsigned builds by the signatures alone, released, runs"
