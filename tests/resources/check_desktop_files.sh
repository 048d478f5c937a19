#!/usr/bin/env bash
# The desktop entry and the list-file type, checked as the desktop reads
# them: both files pass their validators and agree with each other and with
# the string table, and after scripts/desktop.sh has installed them into a
# private XDG data folder, GLib's gio (the library file managers use) takes
# a ".cvl" file for a list file, names CHROMIVEL as its application and
# starts the program with the file, even when the program's folder holds
# blanks, quotes, '$' and a backslash.
#
# The program's icon, drawn into the build tree's share/icons/, is
# installed with the entry under the name its Icon key gives.
#
#   check_desktop_files.sh <source root> <build tree>
# Exit 0 when all holds, 1 naming each failure, 77 when a tool is missing.
set -u
root=${1:?source root}
build=${2:?build tree}
desktop="$root/resources/chromivel.desktop"
types="$root/resources/chromivel-mime.xml"

for tool in desktop-file-validate xmllint update-mime-database update-desktop-database gio; do
  command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# The value of a key of the [Desktop Entry] group.
key() { sed -n "s/^$2=//p" "$1" | head -n 1; }

# Validators: no error, and no warning either.
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate complains: $out"
out=$(xmllint --noout "$types" 2>&1) || fail "xmllint: $out"

# The two files and the string table tell the same story.
mime_type=$(xmllint --xpath 'string(/*[local-name()="mime-info"]/*[local-name()="mime-type"]/@type)' "$types")
glob=$(xmllint --xpath 'string(//*[local-name()="glob"]/@pattern)' "$types")
comment=$(xmllint --xpath 'string(//*[local-name()="comment"][not(@xml:lang)])' "$types")
[ "$glob" = "*.cvl" ] || fail "glob is '$glob', not '*.cvl'"
[ "$(key "$desktop" MimeType)" = "$mime_type;" ] ||
  fail "MimeType '$(key "$desktop" MimeType)' does not name '$mime_type'"
# String 130's last line is the list file's registry type name.
type_name=$(grep -P '^130\t' "$root/resources/strings.txt" | cut -f2 | sed 's/.*\\n//')
[ -n "$type_name" ] && [ "$comment" = "$type_name" ] ||
  fail "type comment '$comment' is not string 130's type name '$type_name'"
[ "$(key "$desktop" Name)" = "CHROMIVEL" ] || fail "Name is '$(key "$desktop" Name)'"
[[ $(key "$desktop" Exec) == *' %F' ]] || fail "Exec does not pass the files (%F)"
[ "$(key "$desktop" Categories)" = "Graphics;Photography;" ] || fail "Categories"
[ "$(key "$desktop" Icon)" = "chromivel" ] || fail "Icon is '$(key "$desktop" Icon)'"
key "$desktop" Comment | LC_ALL=C.UTF-8 grep -qP '[\x{3040}-\x{30FF}\x{4E00}-\x{9FFF}]' ||
  fail "the comment is not Japanese"

# Installed as run.sh installs it, into a private home.
work=$(mktemp -d "${TMPDIR:-/tmp}/desktop-files.XXXXXX")
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config"
export XDG_DATA_DIRS=/usr/share GIO_USE_VFS=local
mkdir -p "$HOME"
bin="$work/My Programs/\$HOME \"q\" back\\slash"
mkdir -p "$bin"
mkfifo "$work/args"
# The stand-in program reports its arguments, one a line, through the FIFO.
cat > "$bin/chromivel" <<PROGRAM
#!/bin/sh
for a in "\$@"; do printf '%s\n' "\$a"; done > "$work/args"
PROGRAM
chmod +x "$bin/chromivel"
# The build's icons beside the program, as in the build tree.
mkdir -p "$bin/../share"
cp -r "$build/share/icons" "$bin/../share/" || fail "no icons in the build tree"

# shellcheck source=../../scripts/desktop.sh
source "$root/scripts/desktop.sh"
qb_install_desktop_integration "$bin/chromivel" || fail "installation failed"
installed="$XDG_DATA_HOME/applications/chromivel.desktop"
[ -f "$XDG_DATA_HOME/mime/packages/chromivel.xml" ] || fail "no installed MIME package"
out=$(desktop-file-validate "$installed" 2>&1) && [ -z "$out" ] ||
  fail "installed entry does not validate: $out"
# Every size of the icon, a PNG of its size, under the entry's icon name.
icon=$(key "$installed" Icon)
for side in 16 22 24 32 48 64 128 256; do
  png="$XDG_DATA_HOME/icons/hicolor/${side}x${side}/apps/$icon.png"
  if [ ! -f "$png" ]; then
    fail "no installed icon $png"
    continue
  fi
  header=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
  [ "${header:0:16}" = "89504e470d0a1a0a" ] || fail "$png is no PNG"
  [ $((16#${header:32:8})) -eq "$side" ] && [ $((16#${header:40:8})) -eq "$side" ] ||
    fail "$png is not $side x $side"
done

list="$work/My Lists/shoot 1.CVL"
mkdir -p "$(dirname "$list")"
printf '[ImageFileList]\r\n' > "$list"
detected=$(gio info -a standard::content-type "$list" | sed -n 's/^ *standard::content-type: //p')
[ "$detected" = "$mime_type" ] || fail "gio takes the list file for '$detected'"
gio mime "$mime_type" | grep -q "^Default application.*chromivel\.desktop" ||
  fail "CHROMIVEL is not the list file's application: $(gio mime "$mime_type")"

gio open "$list" || fail "gio open failed"
args=$(timeout 30 cat "$work/args") || fail "the program was not started"
[ "$args" = "$list" ] || fail "the program got '$args' instead of the list file"

[ "$failures" -eq 0 ] || exit 1
echo "desktop entry and list-file type: all checks passed"
