#!/usr/bin/env bash
# Turns the release folder of a tagged build into the files its GitHub release publishes, and the
# release notes. The release workflow runs it after the release target; it needs only bash,
# coreutils, python3 (scripts/release_files.py makes the zip and the SBOM) and dpkg, so it can be
# tried without GitHub. The same inputs give the same bytes: every date in the files is the
# release's date in CHANGELOG.md.
#
#   package_release.sh VERSION RELEASE_DIR UNSIGNED_EXE OUT_DIR NOTES_FILE KIT_ZIP LAUNCHER_MAP CHECK_MAP
#
# VERSION is the tag without its "v" (1.0.0, or 1.1.0-rc.1 for a pre-release). RELEASE_DIR is the
# folder the release target lays out, its launcher.exe and launcher-check.exe signed or not, with
# LICENSE.txt and THIRD-PARTY-NOTICES.txt; UNSIGNED_EXE is launcher.exe as linked, before any
# signature, which is what a rebuild from the tag reproduces. OUT_DIR (new) receives exactly the
# published files: launcher.exe, launcher-unsigned.exe, launcher-check.exe,
# sorvane-launcher-VERSION.zip, LICENSE.txt, THIRD-PARTY-NOTICES.txt, the SBOM
# sorvane-launcher-VERSION.cdx.json, the test kit KIT_ZIP (built around RELEASE_DIR's programs by
# the test-kit target) and SHA256SUMS. NOTES_FILE
# receives the version's CHANGELOG.md section, whether launcher.exe is signed, how to check the
# files and how to rebuild them. LAUNCHER_MAP and CHECK_MAP are the link maps the release target
# made the notices from (build/launcher.map, build/launcher-check.map): the SBOM lists the same
# components from them.
set -euo pipefail

if [ $# -ne 8 ]; then
    echo "usage: $0 VERSION RELEASE_DIR UNSIGNED_EXE OUT_DIR NOTES_FILE KIT_ZIP LAUNCHER_MAP CHECK_MAP" >&2
    exit 2
fi
version=$1 release_dir=$2 unsigned=$3 out=$4 notes=$5 kit=$6 launcher_map=$7 check_map=$8
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
fail() {
    echo "package_release: $*" >&2
    exit 1
}

[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+(-[0-9A-Za-z.]+)?$ ]] ||
    fail "the tag's version $version is not of the form 1.2.3 or 1.2.3-rc.1"
# A tag that names another version than the one built into the version block would publish a
# launcher.exe whose file version contradicts its release.
project_version=$(sed -n 's/^project(sorvane_launcher VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' "$root/CMakeLists.txt")
[ "${version%%-*}" = "$project_version" ] ||
    fail "the tag's version $version is not the project's version $project_version (CMakeLists.txt)"

# The section from "## [VERSION] - DATE" up to the next "## [" heading, without its heading.
heading=$(awk -v start="## [$version] - " 'index($0, start) == 1 { print; exit }' "$root/CHANGELOG.md")
date=${heading##* - }
[[ $heading == "## [$version] - "* && $date =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}$ ]] ||
    fail "CHANGELOG.md has no section \"## [$version] - YYYY-MM-DD\" for the release notes"
section=$(awk -v heading="$heading" '
    $0 == heading { inside = 1; next }
    inside && /^## \[/ { exit }
    inside { print }' "$root/CHANGELOG.md")

for file in "$release_dir"/{launcher.exe,launcher-check.exe,LICENSE.txt,THIRD-PARTY-NOTICES.txt} "$unsigned" "$kit" \
    "$launcher_map" "$check_map"; do
    [ -f "$file" ] || fail "no $file"
done
command -v python3 >/dev/null || fail "python3 is missing (scripts/setup.sh installs it)"
[ ! -e "$out" ] || fail "$out exists already: give a new directory"
mkdir -p "$out"
out=$(cd "$out" && pwd)
zip_name=sorvane-launcher-$version.zip
sbom_name=sorvane-launcher-$version.cdx.json
repo=${GITHUB_REPOSITORY:-OWNER/REPOSITORY}
server=${GITHUB_SERVER_URL:-https://github.com}
# What built it: listed in the notes and, as the SBOM's formulation, in the SBOM.
toolchain_packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev cmake ninja-build)

cp "$release_dir/launcher.exe" "$out/launcher.exe"
cp "$release_dir/launcher-check.exe" "$out/launcher-check.exe"
cp "$unsigned" "$out/launcher-unsigned.exe"
cp "$release_dir/LICENSE.txt" "$release_dir/THIRD-PARTY-NOTICES.txt" "$out/"
kit_name=$(basename "$kit")
cp "$kit" "$out/$kit_name"
release_files=$root/scripts/release_files.py
python3 "$release_files" zip "$release_dir" "$date" "$out/$zip_name"
python3 "$release_files" sbom "$version" "$date" "$launcher_map" "$check_map" "$out/launcher.exe" \
    "$out/launcher-unsigned.exe" "$out/launcher-check.exe" "$repo" "$server" "$out/$sbom_name" \
    "${toolchain_packages[@]}"
(cd "$out" && sha256sum launcher.exe launcher-unsigned.exe launcher-check.exe "$zip_name" LICENSE.txt \
    THIRD-PARTY-NOTICES.txt "$sbom_name" "$kit_name" >SHA256SUMS)

if cmp -s "$out/launcher.exe" "$out/launcher-unsigned.exe"; then
    signature="**\`launcher.exe\` is not signed**, nor is \`launcher-check.exe\`: this release was built
without a code-signing certificate, so \`launcher.exe\` and \`launcher-unsigned.exe\` are the same
file. Check them by their SHA-256 and their provenance below."
else
    signature="\`launcher.exe\` and \`launcher-check.exe\` are signed (Authenticode, SHA-256);
\`launcher-unsigned.exe\` is the same launcher before signing, the file a rebuild from the tag
reproduces."
fi

toolchain=""
if command -v dpkg-query >/dev/null; then
    toolchain=$(dpkg-query -W -f '- ${Package} ${Version}\n' "${toolchain_packages[@]}" 2>/dev/null || true)
fi
debian=$(cat /etc/debian_version 2>/dev/null || echo unknown)
[ -n "$toolchain" ] || toolchain="(the package versions could not be read)"

cat >"$notes" <<EOF
$section

## Files

- \`$zip_name\`: the install skeleton: \`launcher.exe\`, \`launcher-check.exe\`,
  \`LICENSE.txt\`, \`THIRD-PARTY-NOTICES.txt\`, \`README-vendor.txt\` and the empty \`jre\\\` and
  \`security\\\` folders. Add \`getdown-launcher-1.8.6.jar\`, a Java runtime in \`jre\\\` and, optionally,
  \`security\\cacerts\`.
- \`launcher.exe\`: the launcher, as in the zip.
- \`launcher-unsigned.exe\`: the launcher before signing.
- \`launcher-check.exe\`: a console program that tells what \`launcher.exe\` would do on a
  machine, and why; it starts nothing but \`java -version\`. As in the zip.
- \`LICENSE.txt\`, \`THIRD-PARTY-NOTICES.txt\`: the launcher's license and the licenses of the
  runtime parts linked into \`launcher.exe\` and \`launcher-check.exe\`, as in the zip; they
  travel with them.
- \`$sbom_name\`: the software bill of materials (CycloneDX 1.6): \`launcher.exe\`,
  \`launcher-check.exe\`, the components in them and the toolchain that built them.
- \`$kit_name\`: the test kit: this release's \`launcher.exe\` and \`launcher-check.exe\`
  with the test programs and \`run-tests.cmd\`, to run the launcher's tests on any Windows (see
  docs/test-kit.md).
- \`SHA256SUMS\`: the SHA-256 of the files above.

$signature

## Checking a download

In the folder that holds the downloads:

\`\`\`sh
REPO=$repo
sha256sum --check --ignore-missing SHA256SUMS    # each file matches SHA256SUMS
gh attestation verify launcher.exe --repo "\$REPO" \\
    --signer-workflow "\$REPO/.github/workflows/release.yml" \\
    --source-ref refs/tags/v$version --deny-self-hosted-runners    # built by this release's workflow
osslsigncode verify -in launcher.exe             # who signed it (a signed launcher.exe only)
\`\`\`

The attestation check works for every file; add \`--predicate-type https://cyclonedx.org/bom\`
to check the SBOM's attestation for \`launcher.exe\`, \`launcher-unsigned.exe\`,
\`launcher-check.exe\` or \`$zip_name\`.
\`gh\` needs network access to GitHub and a login (\`gh auth login\`, or a token in
\`GH_TOKEN\`), even for a public repository. On Windows, \`Get-FileHash launcher.exe\` in
PowerShell prints the SHA-256 to compare, and \`Get-AuthenticodeSignature .\\launcher.exe | Format-List\`
shows the signature. The README's "Checking a download" says what each check proves.

## Rebuilding it

On a stock Debian 12 (for example \`docker run -it debian:12\`), as root:

\`\`\`sh
apt-get update && apt-get install -y git ca-certificates
git clone --branch v$version $server/$repo.git sorvane && cd sorvane
scripts/test.sh
sed -n 's/  launcher-unsigned\\.exe\$/  build\\/launcher.exe/p' /path/to/SHA256SUMS | sha256sum --check
\`\`\`

The last line prints \`build/launcher.exe: OK\` when the rebuild has the published bytes. This
release was built on Debian $debian with:

$toolchain
EOF
