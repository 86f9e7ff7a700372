#!/usr/bin/env bash
# The release command: builds the 32-bit and the 64-bit Tarvik.exe, takes the guide's screenshots of the
# real program under Wine, renders the guide, and makes under build/release/ a portable zip and an
# installer per architecture and SHA256SUMS.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh tarvik-sim tarvik-cli
cmake --preset windows-i686 >/dev/null
cmake --build --preset windows-i686 -j2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)

out=build/release
rm -rf "$out"
mkdir -p "$out/stage"

/usr/bin/python3 scripts/guide-screenshots.py docs/images
/usr/bin/python3 scripts/report-screenshot.py docs/images/report.png build/host/tarvik-cli
/usr/bin/python3 scripts/guide-html.py docs/guide.md "$out/stage/Tarvik-guide.html"
# Plain texts with CRLF, which every Notepad shows.
sed 's/$/\r/' LICENSE >"$out/stage/LICENSE.txt"
sed 's/$/\r/' CHANGELOG.md >"$out/stage/CHANGELOG.txt"

for arch in win32 win64; do
  build=build/windows; [ "$arch" = win32 ] && build=build/windows-i686
  name=Tarvik-$version-$arch
  stage=$out/stage/$name
  mkdir -p "$stage"
  cp "$build/Tarvik.exe" "$out/stage/Tarvik-guide.html" "$out/stage/LICENSE.txt" "$out/stage/CHANGELOG.txt" "$stage/"
  # The console program goes beside Tarvik.exe in builds that have it.
  [ -f "$build/tarvik-cli.exe" ] && cp "$build/tarvik-cli.exe" "$stage/"
  (cd "$out/stage" && zip -q -X -r "../$name.zip" "$name")

  files=$out/stage/$name.nsh
  {
    echo '!macro InstallFiles'
    for f in "$stage"/*; do echo "  File \"$(realpath "$f")\""; done
    echo '!macroend'
    echo '!macro RemoveFiles'
    for f in "$stage"/*; do echo "  Delete \"\$INSTDIR\\$(basename "$f")\""; done
    echo '!macroend'
  } >"$files"
  makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DARCH="$arch" -DSTAGE="$(realpath "$stage")" \
    -DFILES="$(realpath "$files")" -DICON="$(realpath build/windows/res/Tarvik.ico)" \
    -DOUTFILE="$(realpath -m "$out/$name-setup.exe")" installer/Tarvik.nsi
done

rm -rf "$out/stage"
(cd "$out" && sha256sum -- *.zip *-setup.exe >SHA256SUMS)
ls -l "$out"
