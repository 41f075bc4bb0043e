#!/usr/bin/env bash
# Builds the Debian package from the build folder and reads it back: the programs, the desktop
# entry, the icons, the metadata, the manual pages and the completion are inside, and Depends
# names the run-time libraries, the fonts and liblhasa, and nothing used only to build or test.
source "$(dirname "$0")/common.sh"

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp" >"$tmp/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$tmp/cpack.log")"
deb=$tmp/marlo_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || fail "no $(basename "$deb") in: $(ls "$tmp")"

contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
for path in bin/marlo bin/marlo-cli share/applications/$id.desktop \
  share/metainfo/$id.metainfo.xml share/icons/hicolor/scalable/apps/$id.svg \
  share/icons/hicolor/16x16/apps/$id.png share/icons/hicolor/256x256/apps/$id.png \
  share/man/man1/marlo.1.gz share/man/man1/marlo-cli.1.gz \
  share/bash-completion/completions/marlo-cli; do
  grep -qx "\./usr/$path" <<<"$contents" || fail "the package lacks /usr/$path"
done
# Nothing of the build tree: only files under /usr.
if grep -v '^\./usr/' <<<"$contents" | grep -qv '^\./$'; then
  fail "files outside /usr: $(grep -v '^\./usr/' <<<"$contents")"
fi

info=$(dpkg-deb -I "$deb")
field() { sed -n "s/^ $1: //p" <<<"$info"; }
[[ $(field Package) == marlo ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version)"
depends=$(field Depends)
names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/[ (|].*//')
for need in libqt6core6 libqt6gui6 libqt6widgets6 fonts-noto-cjk liblhasa0; do
  grep -qx "$need" <<<"$names" || fail "Depends lacks $need: $depends"
done
for name in $names; do
  case $name in
    *-dev | *-dev-tools | cmake | ninja-build | ccache | pkg-config | build-essential | g++* | \
      clang* | lrzsz | socat | xvfb | xauth | inetutils-telnetd | googletest | \
      desktop-file-utils | appstream | dpkg-dev | librsvg2-bin | man-db)
      fail "Depends names the build or test tool $name: $depends" ;;
  esac
done
echo "$(basename "$deb"): contents and Depends check out ($depends)"
