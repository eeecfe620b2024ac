#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Debian packages as a user gets them: built with dpkg-buildpackage from a
# copy of the source (packaging/build-deb.sh, which also runs lintian), then
# their contents, hardening, debug symbols, validators, programs, man pages and
# completion checked, and the ordinary build's programs and install tree
# compared with them. Every failed check is listed; the exit status is 1 if any.
#   check_package.sh SOURCE_DIR BUILD_DIR APP_ID KDXA_APP_ID
set -uo pipefail
src=$1 build=$2 app_id=$3 kdxa_id=$4

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kdx-package-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

for tool in dpkg-buildpackage dpkg-checkbuilddeps dh dpkg-deb desktop-file-validate appstreamcli lintian man \
    bash readelf rsvg-convert; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/bootstrap.sh installs it)"
done
(cd "$src" && dpkg-checkbuilddeps) 2>&1 || fail "debian/control asks for packages scripts/bootstrap.sh does not install"
[ "$failures" -eq 0 ] || exit 1

# A program built with the protections of dpkg-buildflags' hardening=+all:
# position independent, RELRO bound at start, stack protector, checked
# (_FORTIFY_SOURCE) string and memory functions.
check_hardened() {
    local elf=$1 what=$2
    readelf -h "$elf" | grep -q 'Type:.*DYN' || fail "$what is not position independent"
    readelf -lW "$elf" | grep -q GNU_RELRO || fail "$what has no RELRO segment"
    readelf -dW "$elf" | grep -Eq 'BIND_NOW|FLAGS_1.*NOW' || fail "$what is not bound now"
    local symbols
    symbols=$(readelf --dyn-syms -W "$elf")
    grep -q '__stack_chk_fail' <<<"$symbols" || fail "$what calls no __stack_chk_fail"
    grep -Eq '__[a-z_]+_chk' <<<"$(grep -v __stack_chk_fail <<<"$symbols")" || fail "$what calls no _chk function"
}
programs=(kdxctl kdx-sim kdx-utility kdxa-utility)
for program in "${programs[@]}"; do
    check_hardened "$build/bin/$program" "the build's $program"
done

# What `cmake --install` puts in place, for comparing with the package.
DESTDIR=$scratch/tree cmake --install "$build" --prefix /usr >"$scratch/install.log" 2>&1 \
    || { cat "$scratch/install.log"; fail "cmake --install failed"; }
tree_files=$(cd "$scratch/tree" && find . ! -type d | sort)
expected=$(sort <<EOF2
./usr/bin/kdx-sim
./usr/bin/kdx-utility
./usr/bin/kdxa-utility
./usr/bin/kdxctl
./usr/lib/kdx-utility/libkdx_devices.so
./usr/lib/kdx-utility/libkdx_netport.so
./usr/share/applications/$app_id.desktop
./usr/share/applications/$kdxa_id.desktop
./usr/share/bash-completion/completions/kdxctl
./usr/share/icons/hicolor/128x128/apps/$app_id.png
./usr/share/icons/hicolor/48x48/apps/$app_id.png
./usr/share/icons/hicolor/64x64/apps/$app_id.png
./usr/share/icons/hicolor/scalable/apps/$app_id.svg
./usr/share/kdx-utility/translations/kdx-utility_de.qm
./usr/share/man/man1/kdx-sim.1
./usr/share/man/man1/kdx-utility.1
./usr/share/man/man1/kdxa-utility.1
./usr/share/man/man1/kdxctl.1
./usr/share/metainfo/$app_id.metainfo.xml
./usr/share/metainfo/$kdxa_id.metainfo.xml
EOF2
)
if [ "$tree_files" != "$expected" ]; then
    fail "the install tree's files differ from the expected ones:"
    diff <(echo "$expected") <(echo "$tree_files")
fi

# The package, as scripts/package.sh builds it, at low priority so that the
# real-time tests running beside it keep their timing. build-deb.sh fails on
# any lintian error or warning.
version=$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)
arch=$(dpkg-architecture -q DEB_HOST_ARCH)
DEB_BUILD_OPTIONS="nocheck parallel=2" nice -n 19 bash "$src/packaging/build-deb.sh" "$scratch/out" \
    >"$scratch/deb.log" 2>&1 || { tail -60 "$scratch/deb.log"; fail "the package build or lintian failed"; exit 1; }
grep -E '^[EW]: ' "$scratch/deb.log" && fail "lintian reports errors or warnings"
deb=$scratch/out/kdx-utility_${version}_$arch.deb
dbgsym=$scratch/out/kdx-utility-dbgsym_${version}_$arch.deb
[ "$version" = 1.3.5-1 ] || fail "debian/changelog's version is $version"
for f in "$deb" "$dbgsym"; do
    [ -f "$f" ] || { fail "no $(basename "$f")"; ls "$scratch/out"; exit 1; }
done

# The package holds the install tree (man pages compressed, the private library
# under the multiarch folder) and the documents.
files=$(dpkg-deb -c "$deb" | grep -v '^d' | awk '{print $6}' | sed 's|^\./usr/lib/[^/]*-linux-gnu[^/]*/|./usr/lib/|' | sort)
want=$( (sed 's/\.1$/.1.gz/' <<<"$tree_files"
         printf '%s\n' ./usr/share/doc/kdx-utility/{changelog.Debian.gz,changelog.gz,copyright,README.md.gz} \
             ./usr/share/lintian/overrides/kdx-utility) | sort)
if [ "$files" != "$want" ]; then
    fail "the package's files differ from the install tree's:"
    diff <(echo "$want") <(echo "$files")
fi
fields=$(dpkg-deb -f "$deb" Package Version Section Maintainer Depends)
for field in "Package: kdx-utility" "Version: $version" "Section: electronics" "Maintainer: " \
    "Depends: .*libqt6core6" "Depends: .*libc6" "Depends: .*qt6-qpa-plugins" "Depends: .*libqt6svg6"; do
    grep -q -e "^$field" <<<"$fields" || fail "control lacks \"$field\": $fields"
done

root=$scratch/root
dpkg-deb -x "$deb" "$root"
debug_files=$(dpkg-deb -c "$dbgsym" | awk '{print $6}')
for program in "${programs[@]}"; do
    check_hardened "$root/usr/bin/$program" "the package's $program"
    id=$(readelf -nW "$root/usr/bin/$program" | sed -n 's/.*Build ID: \([0-9a-f]*\).*/\1/p')
    grep -q "^\./usr/lib/debug/\.build-id/${id:0:2}/${id:2}\.debug$" <<<"$debug_files" \
        || fail "the dbgsym package has no symbols for $program (build id ${id:-none})"
done

for desktop in "$root"/usr/share/applications/*.desktop; do
    desktop-file-validate "$desktop" || fail "desktop-file-validate $(basename "$desktop")"
done
png_size() { # the width and height from a PNG's header
    od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4 "x" $5*16777216 + $6*65536 + $7*256 + $8}'
}
for id in "$app_id" "$kdxa_id"; do
    metainfo=$root/usr/share/metainfo/$id.metainfo.xml
    appstreamcli validate --no-net --pedantic "$metainfo" >"$scratch/as.log" 2>&1 \
        || { cat "$scratch/as.log"; fail "appstreamcli validate $id"; }
    grep -q "<release version=\"${version%-*}\"" "$metainfo" || fail "$id metainfo without release ${version%-*}"
    # Each screenshot's stated size is that of its file in docs/.
    while read -r width height name; do
        got=$(png_size "$src/docs/$name")
        [ "$got" = "${width}x$height" ] || fail "$id metainfo gives $name as ${width}x$height, the file is $got"
    done < <(sed -n 's|.*width="\([0-9]*\)" height="\([0-9]*\)">.*/\([^/]*\.png\)</image>.*|\1 \2 \3|p' "$metainfo")
    grep -q 'width=' "$metainfo" || fail "$id metainfo has no screenshot"
done
for size in 48 64 128; do
    got=$(png_size "$root/usr/share/icons/hicolor/${size}x$size/apps/$app_id.png")
    [ "$got" = "${size}x$size" ] || fail "the ${size} px icon is $got"
done

# The programs run from the unpacked tree and answer without a display; the
# windows refuse what they do not take. No serial device of this machine is
# listed to them.
export QT_QPA_PLATFORM=offscreen KDX_PORTS_DIR=$scratch/ports XDG_CONFIG_HOME=$scratch/config KDX_SYSTEM_DEVICES=
mkdir -p "$KDX_PORTS_DIR" "$XDG_CONFIG_HOME"
for program in "${programs[@]}"; do
    got=$("$root/usr/bin/$program" --version 2>&1)
    [ "$got" = "$program ${version%-*}" ] || fail "$program --version said \"$got\""
done
for program in kdx-utility kdxa-utility; do
    got=$("$root/usr/bin/$program" --bogus 2>&1)
    status=$?
    [ "$status" = 64 ] && [[ $got == *'unknown option "--bogus"'* ]] \
        || fail "$program --bogus gave $status: \"$got\""
done

# Each man page renders without complaints and has the sections a reader
# looks for; every option the program's --help names is described.
section() { # the text of one section of a rendered page
    awk -v s="$1" '/^[A-Z]/ { inside = ($0 == s) } inside' <<<"$2"
}
for page in "$root"/usr/share/man/man1/*.1.gz; do
    name=$(basename "$page" .1.gz)
    MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>"$scratch/man.err" >/dev/null
    [ -s "$scratch/man.err" ] && { cat "$scratch/man.err"; fail "man -l $name complained"; }
    # Wide enough that no paragraph is broken, so no word is hyphenated.
    text=$(MANWIDTH=1000 LC_ALL=C.UTF-8 man -l "$page" 2>/dev/null)
    for s in NAME SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT FILES "EXIT STATUS" EXAMPLES "SEE ALSO"; do
        grep -q "^$s\$" <<<"$text" || fail "$name(1) has no $s section"
    done
    for variable in KDX_PORTS_DIR XDG_CONFIG_HOME; do
        section ENVIRONMENT "$text" | grep -q "$variable" || fail "$name(1) does not explain $variable"
    done
    help=$("$root/usr/bin/$name" --help 2>&1)
    options=$(section OPTIONS "$text"; section COMMANDS "$text")
    for option in $(grep -oE -- '(^|[ [,(])--?[a-z][a-z0-9-]*' <<<"$help" | grep -oE -- '--?[a-z][a-z0-9-]*' | sort -u); do
        grep -qe "$option\b" <<<"$options" || fail "$name(1) does not describe $option"
    done
    eval "text_${name//-/_}=\$text"
done
# kdxctl(1): its commands, every exit status its usage names, the lock files
# and access to serial ports.
commands=$(section COMMANDS "$text_kdxctl")
for command in $("$root/usr/bin/kdxctl" --help | awk '/^commands:/ {on = 1; next} /^[^ ]/ {on = 0} on && /^  [a-z]/ {print $1}'); do
    grep -q "^       $command\b" <<<"$commands" || fail "kdxctl(1) does not describe the command $command"
done
statuses=$(section "EXIT STATUS" "$text_kdxctl")
for status in 0 $("$root/usr/bin/kdxctl" --help | sed -n '/^exit status:/,/^[^ e]/p' | grep -oE '\b[0-9]{1,3}\b' | sort -un) \
    66 129 130 143; do
    grep -qE "^       ($status|.* $status)\b" <<<"$statuses" || fail "kdxctl(1) does not explain exit status $status"
done
for word in dialout "usermod -aG dialout" "udev" ModemManager brltty "in use by" LCK.. KDX_LOCK_DIR; do
    grep -qF -- "$word" <<<"$text_kdxctl" || fail "kdxctl(1) does not mention $word"
done
for word in --quiet silent double-ack hangup-after; do
    grep -qF -- "$word" <<<"$text_kdx_sim" || fail "kdx-sim(1) does not describe $word"
done
for fault in $("$root/usr/bin/kdx-sim" --help | sed -n '/^Faults/,/^$/p' | awk '/^  [a-z]/ {print $1}'); do
    grep -qF -- "${fault%%=*}" <<<"$text_kdx_sim" || fail "kdx-sim(1) does not describe the fault $fault"
done

# The completion offers the commands, the options and the port map's COM names.
ln -s /dev/null "$KDX_PORTS_DIR/COM7"
echo "tcp://127.0.0.1:4001" >"$KDX_PORTS_DIR/COM12.url"
ports_before=$(ls -l "$KDX_PORTS_DIR")
cd "$scratch" && touch image.bin
complete_line() {
    PATH="$root/usr/bin:$PATH" bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        COMP_LINE="kdxctl $2"; COMP_POINT=${#COMP_LINE}
        read -r -a COMP_WORDS <<<"$COMP_LINE"
        [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _kdxctl
        printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' _ \
        "$root/usr/share/bash-completion/completions/kdxctl" "$1"
}
while IFS='|' read -r line want; do
    got=$(complete_line "$line")
    [[ " $got" == *" $want "* ]] || fail "completing \"kdxctl $line\" gave \"$got\", not \"$want\""
done <<'EOF2'
|version
|send-bytes
|firmware
|spy
spy --|--as
--p|--port
--port |COM7
--port |COM12
--port |all
--port=CO|COM7
--databits |8
--port COM7 sw|switch
--port @im|@image.bin
--jo|--jobs
switch |native
printer |off
firmware img --|--crc
firmware --crc im|image.bin
firmware --code-type 1 im|image.bin
EOF2
# Completing only reads the port map: no device gets a number, and a folder
# that is not there is not made.
[ "$(ls -l "$KDX_PORTS_DIR")" = "$ports_before" ] || fail "completion changed the port map: $(ls -l "$KDX_PORTS_DIR")"
(export KDX_PORTS_DIR=$scratch/no-ports; complete_line "--port " >/dev/null)
[ -e "$scratch/no-ports" ] && fail "completion made the ports folder"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "packages $(basename "$deb") and $(basename "$dbgsym") checked"
