#!/usr/bin/env bash
# The install tree and the Debian package of a build:
#   install_tree_test.sh BUILD_DIR WITH_SCREENS(ON|OFF)
# Installs into a scratch prefix, checks every file a desktop needs is where
# desktops look, validates the desktop entry and the metainfo, then builds the
# package and checks that it holds exactly the installed files.
set -euo pipefail
build="$1" screens="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/usr" >/dev/null
expected=(usr/bin/quorrel-cli usr/share/man/man1/quorrel-cli.1)
if [ "$screens" = ON ]; then
  expected+=(usr/bin/quorrel usr/share/man/man1/quorrel.1
             usr/share/applications/org.quorrel.Quorrel.desktop
             usr/share/metainfo/org.quorrel.Quorrel.metainfo.xml
             usr/share/icons/hicolor/scalable/apps/org.quorrel.Quorrel.svg)
  for size in 16 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/org.quorrel.Quorrel.png")
  done
fi
status=0
for f in "${expected[@]}"; do
  [ -s "$scratch/$f" ] || { echo "not installed: $f"; status=1; }
done
installed="$(cd "$scratch" && find usr -type f | sort)"
if [ "$installed" != "$(printf '%s\n' "${expected[@]}" | sort)" ]; then
  echo "installed files differ from the expected ones:"
  diff <(printf '%s\n' "${expected[@]}" | sort) <(echo "$installed") || true
  status=1
fi

# The manual page is the program's own help.
grep -q 'accuracy' "$scratch/usr/share/man/man1/quorrel-cli.1" \
  || { echo "quorrel-cli.1 lacks the options"; status=1; }

if [ "$screens" = ON ]; then
  desktop-file-validate "$scratch/usr/share/applications/org.quorrel.Quorrel.desktop" || status=1
  appstreamcli validate --no-net "$scratch/usr/share/metainfo/org.quorrel.Quorrel.metainfo.xml" \
    >/dev/null || { appstreamcli validate --no-net \
      "$scratch/usr/share/metainfo/org.quorrel.Quorrel.metainfo.xml"; status=1; }
fi

(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/package" >/dev/null)
deb="$(ls "$scratch"/package/*.deb)"
packaged="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./||' | sort)"
if [ "$packaged" != "$installed" ]; then
  echo "the package holds other files than the install tree:"
  diff <(echo "$installed") <(echo "$packaged") || true
  status=1
fi
dpkg-deb -f "$deb" Depends | grep -q libc6 || { echo "the package names no dependencies"; status=1; }
[ $status -eq 0 ] && echo "install tree and package: ${#expected[@]} files"
exit $status
