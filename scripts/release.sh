#!/usr/bin/env bash
# The release command: builds the 32-bit and the 64-bit Tarvik.exe, takes the guide's screenshots of the
# real program under Wine, renders the guide, and makes under build/release/ a portable zip and an
# installer per architecture and SHA256SUMS.
# The packages are reproducible: the same commit gives the same bytes on any run (no link time in the
# images, every packed file dated at the commit, zips in a fixed order with fixed permissions).
# --check-reproducible makes the release twice (the first may be one already made of the same commit), the
# second time from empty build folders, and fails unless both give the same files; it says whether the
# guide's pictures are the commit's own.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1-}" = --check-reproducible ]; then
  # A release of this very commit made before (the test command's) is the first of the two.
  if [ "$(cat build/release-commit 2>/dev/null)" != "$(git rev-parse HEAD)" ] || [ -n "$(git status --porcelain)" ]; then
    bash scripts/release.sh >/dev/null
  fi
  rm -rf build/release-first && mv build/release build/release-first
  rm -rf build/windows build/windows-i686
  bash scripts/release.sh >/dev/null
  status=0
  if diff -r build/release-first build/release; then
    echo "PASS  two releases of $(git rev-parse --short HEAD) are byte for byte the same:"
    sed 's/^/      /' build/release/SHA256SUMS
    rm -rf build/release-first
  else
    echo "FAIL  two releases of $(git rev-parse --short HEAD) differ (the first is kept in build/release-first)"; status=1
  fi
  # Both releases took the pictures anew and packed them into the guide, so the comparison above holds
  # them to the same bytes. Pictures that differ from the commit's were taken on another machine (another
  # processor's rasterising, other fonts) or are stale: said, and left in the tree to see or commit.
  if git diff --quiet -- docs/images && [ -z "$(git status --porcelain -- docs/images)" ]; then
    echo "PASS  the guide's pictures are the commit's own"
  else
    echo "NOTE  the guide's pictures differ from the commit's (another machine, or stale):"; git status --short -- docs/images
  fi
  exit "$status"
fi

# Every date in the packages: the commit's, unless the caller names one.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export TZ=UTC  # zip keeps local times

bash scripts/build.sh tarvik-sim tarvik-cli
cmake --preset windows-i686 >/dev/null
cmake --build --preset windows-i686 -j2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)

out=build/release
rm -rf "$out" build/release-commit
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
  # The installer keeps each file's date too.
  chmod 755 "$stage" && chmod 644 "$stage"/*
  touch -d "@$SOURCE_DATE_EPOCH" "$stage" "$stage"/*
  (cd "$out/stage" && find "$name" | LC_ALL=C sort | zip -q -X -@ "../$name.zip")

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
[ -n "$(git status --porcelain)" ] || git rev-parse HEAD >build/release-commit
ls -l "$out"
