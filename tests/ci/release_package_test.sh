#!/usr/bin/env bash
# scripts/package_release.sh on a stand-in release folder, signed and unsigned, and packaged again
# with its files dated otherwise, which must give the same bytes.
#
# Usage: release_package_test.sh SOURCE_DIR BINARY_DIR VERSION
#   BINARY_DIR: a build, for its link maps, its LICENSE.txt and the npm tools in its tools/.
# A missing tool skips the test (exit code 77) and says why.
# shellcheck disable=SC2015 # "check && check || fail" is meant: fail when either check fails
set -euo pipefail
export LC_ALL=C

source_dir=$1 binary_dir=$2 version=$3
tools=$binary_dir/tools
for tool in jq node python3 dpkg; do
    command -v "$tool" >/dev/null || {
        echo "SKIP: $tool is missing (on Debian scripts/setup.sh installs it)"
        exit 77
    }
done
[ -f "$tools/node_modules/@cyclonedx/cyclonedx-library/package.json" ] || {
    echo "SKIP: the CycloneDX library is not installed in $tools (scripts/setup.sh installs it)"
    exit 77
}
work=$(mktemp -d "${TMPDIR:-/tmp}/sorvane-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# The script runs from a copy of the sources whose CHANGELOG.md has an older release below, which
# the notes must not run into.
src=$work/src release=$work/release kit=$work/sorvane-launcher-tests-$version.zip
mkdir -p "$src/scripts" "$release/jre" "$release/security"
cp "$source_dir"/scripts/{package_release.sh,release_files.py} "$src/scripts/"
cp "$source_dir/CMakeLists.txt" "$src/"
{ cat "$source_dir/CHANGELOG.md"; printf '\n## [0.0.1] - 2000-01-01\n\n- An older release.\n'; } >"$src/CHANGELOG.md"
printf 'what goes where\r\n' >"$release/README-vendor.txt"
printf 'MZ unsigned' >"$work/unsigned.exe"
printf 'MZ the check' >"$release/launcher-check.exe"
printf 'PK the test kit' >"$kit"
cp "$binary_dir/LICENSE.txt" "$release/"
maps=("$binary_dir/launcher.map" "$binary_dir/launcher-check.map")
python3 "$source_dir/scripts/release_files.py" notices "${maps[@]}" "$release/THIRD-PARTY-NOTICES.txt"
rebuild=$(tail -n 1 "$source_dir/.ci/run")
published="LICENSE.txt SHA256SUMS THIRD-PARTY-NOTICES.txt launcher-check.exe launcher-unsigned.exe \
launcher.exe sorvane-launcher-$version.cdx.json sorvane-launcher-$version.zip sorvane-launcher-tests-$version.zip"
runtime=pkg:deb/debian/mingw-w64-x86-64-dev@

for kind in signed unsigned unsigned-again; do
    case $kind in
    signed) printf 'MZ unsigned, and a signature' >"$release/launcher.exe" ;;
    unsigned) cp "$work/unsigned.exe" "$release/launcher.exe" ;;
    *) touch -d @1000000000 "$release"/* ;;
    esac
    out=$work/dist-$kind notes=$work/dist-$kind.md
    bash "$src/scripts/package_release.sh" "$version" "$release" "$work/unsigned.exe" "$out" "$notes" \
        "$kit" "${maps[@]}" >"$work/package.log" 2>&1 || {
        cat "$work/package.log"
        fail "package_release.sh $version ($kind) failed"
    }
    made=$(cd "$out" && echo *)
    [ "$made" = "$published" ] || fail "a $kind release publishes [$made], not [$published]"
    (cd "$out" && sha256sum --check --strict --quiet SHA256SUMS) &&
        [ "$({ cut -c 67- "$out/SHA256SUMS"; echo SHA256SUMS; } | sort | xargs)" = "$published" ] ||
        fail "SHA256SUMS of a $kind release does not cover every other file: $(cat "$out/SHA256SUMS")"

    grep -q '^### ' "$notes" && ! grep -q '^## \[' "$notes" && grep -qxF "$rebuild" "$notes" ||
        fail "the notes of $version do not hold its CHANGELOG.md section alone and the rebuild command ($notes)"
    if grep -q 'is not signed' "$notes"; then [ $kind != signed ]; else [ $kind = signed ]; fi ||
        fail "the notes of a $kind release say the wrong thing about the signature ($notes)"

    grep -A 8 -xF $'Component:      MinGW-w64 runtime\r' "$out/THIRD-PARTY-NOTICES.txt" |
        grep -qxF $'Programs:       launcher.exe, launcher-check.exe\r' ||
        fail "THIRD-PARTY-NOTICES.txt of a $kind release does not name the MinGW-w64 runtime in both programs"
    sbom=$out/sorvane-launcher-$version.cdx.json
    sum() { sha256sum <"$out/$1" | cut -d ' ' -f 1; }
    jq -e --arg launcher "$(sum launcher.exe)" --arg unsigned "$(sum launcher-unsigned.exe)" \
        --arg check "$(sum launcher-check.exe)" '
        .metadata.component.hashes == [{alg: "SHA-256", content: $launcher}] and
        .metadata.component.pedigree.ancestors[0].hashes == [{alg: "SHA-256", content: $unsigned}] and
        [.components[] | select(."bom-ref" == "launcher-check.exe") | .hashes] == [[{alg: "SHA-256", content: $check}]]
        ' "$sbom" >/dev/null || fail "the SBOM of a $kind release has other SHA-256s than its programs ($sbom)"
    jq -e --arg runtime "$runtime" '
        any(.components[]; (.purl // "") | startswith($runtime)) and
        ([.dependencies[] | select(any(.dependsOn[]; startswith($runtime))).ref] | length) == 2
        ' "$sbom" >/dev/null || fail "the SBOM of a $kind release does not list the MinGW-w64 runtime in both programs"
    (cd "$tools" && node -e '
        const {Validation} = require("@cyclonedx/cyclonedx-library");
        new Validation.JsonValidator("1.6").validate(require("fs").readFileSync(process.argv[1], "utf8"))
            .then(e => { process.exitCode = e ? 1 : 0; console.log(JSON.stringify(e)); }, e => { throw e; });' \
        "$sbom") >"$work/valid.log" 2>&1 ||
        fail "the SBOM of a $kind release is not valid CycloneDX 1.6: $(cat "$work/valid.log")"
done

diff -r "$work/dist-unsigned" "$work/dist-unsigned-again" && cmp "$work"/dist-unsigned{,-again}.md ||
    fail "packaging the same release folder twice gives different files"
echo "OK: a release publishes its nine files, the same bytes each time, with a valid SBOM"
