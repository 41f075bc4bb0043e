#!/usr/bin/env bash
# Installs Marlo into a temporary folder as a packager does (DESTDIR) and checks what lands there:
# the programs tell the version, the desktop entry and the metadata validate, every icon size is
# there, the manual pages format cleanly and name every command and option of marlo-cli --help,
# and the completion offers those options, the protocols and the host names of the host table.
source "$(dirname "$0")/common.sh"

DESTDIR=$tmp/root cmake --install "$build" --prefix /usr >/dev/null
usr=$tmp/root/usr
cli=$usr/bin/marlo-cli

[[ $("$cli" --version) == "marlo-cli $version" ]] || fail "marlo-cli --version: $("$cli" --version)"
# No display: the version is answered before the window system is asked for.
got=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$usr/bin/marlo" --version) ||
  fail "marlo --version failed"
[[ $got == "marlo $version" ]] || fail "marlo --version: $got"

desktop=$usr/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
for key in 'Name\[ja\]=マーロ' 'Comment\[ja\]=' 'Exec=marlo$' "Icon=$id\$"; do
  grep -q "^$key" "$desktop" || fail "desktop entry lacks $key"
done
appstreamcli validate --no-net "$usr/share/metainfo/$id.metainfo.xml" >"$tmp/as.log" ||
  fail "metainfo does not validate: $(cat "$tmp/as.log")"

icons=$usr/share/icons/hicolor
[[ -s $icons/scalable/apps/$id.svg ]] || fail "no scalable icon"
for size in 16 22 24 32 48 64 128 256; do
  png=$icons/${size}x$size/apps/$id.png
  [[ -s $png ]] || fail "no ${size}px icon"
  # The width and height of the PNG header.
  read -r w h < <(od -An -tu4 --endian=big -j16 -N8 "$png")
  [[ $w == "$size" && $h == "$size" ]] || fail "$png is ${w}x$h"
done

help=$("$cli" --help)
commands=$(sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p' <<<"$help")
[[ -n $commands ]] || fail "no commands found in marlo-cli --help"
for page in marlo marlo-cli; do
  LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings -l "$usr/share/man/man1/$page.1.gz" >"$tmp/$page.txt" \
    2>"$tmp/$page.err" || fail "man $page failed"
  [[ ! -s $tmp/$page.err ]] || fail "man $page: $(cat "$tmp/$page.err")"
done
for command in $commands; do
  grep -q "^   $command " "$tmp/marlo-cli.txt" || fail "marlo-cli(1) has no section on $command"
done
for option in $(grep -o -- '--[a-z0-9-]*' <<<"$help" | sort -u) --version; do
  grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" "$tmp/marlo-cli.txt" ||
    fail "marlo-cli(1) does not mention $option"
done

# The completion, with a host table of two hosts (one name with a blank, one in kanji).
export MARLO_CONFIG_DIR=$tmp/config
mkdir -p "$MARLO_CONFIG_DIR"
printf '[Host/BBS One]\nOrder = 0\nName = "BBS One"\nTelnet = 1\nTelnetHost = "a.example"\n\n[Host/まーろ]\nOrder = 1\nName = "まーろ"\n' \
  >"$MARLO_CONFIG_DIR/settings.conf"
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _marlo_cli
           printf "%s\n" "${COMPREPLY[@]}"' _ "$usr/share/bash-completion/completions/marlo-cli" "$@"
}
expect() {
  local want=$1 got
  shift
  got=$(complete_words "$@" | sort | tr '\n' ' ')
  [[ $got == "$want" ]] || fail "completing '$*': got '$got', want '$want'"
}
expect 'screen send sendtext settings ' "$cli" s
expect 'BBS\ One まーろ ' "$cli" hosts show ''
expect 'まーろ ' "$cli" history --host ま
expect 'Speed= ' "$cli" connect --set Spee
for command in $commands; do
  offered=$(complete_words "$cli" "$command" - | tr '\n' ' ')
  [[ $command == hosts ]] && offered=$(complete_words "$cli" hosts connect x - | tr '\n' ' ')
  for option in $("$cli" "$command" --help | grep -o -- '--[a-z0-9-]*' | sort -u); do
    [[ " $offered " == *" $option "* ]] || fail "completion of '$command' lacks $option"
  done
done
for direction in send receive; do
  for protocol in $(complete_words "$cli" "$direction" --protocol ''); do
    err=$("$cli" "$direction" --protocol "$protocol" --stdio --dir "$tmp/none" 2>&1 </dev/null || true)
    [[ $err != *"unknown protocol"* && $err != *"cannot $direction"* ]] ||
      fail "completion offers $direction --protocol $protocol: $err"
  done
done
echo "installed: programs, desktop entry, metadata, icons, manual pages and completion check out"
