#!/usr/bin/env bash
# Registers CHROMIVEL with the user's desktop: its menu entry (a freedesktop
# .desktop file) and the type of its list files ("*.cvl", a shared-mime-info
# package), so that a file manager opens a list file with CHROMIVEL.
# Sourced by run.sh; the tests call the functions the same way.

# qb_require_display [run.sh arguments...]
# Both programs open windows, and without a display Qt would only stop with
# an error of its own. Succeeds when DISPLAY or WAYLAND_DISPLAY names a
# display or QT_QPA_PLATFORM chooses a platform; otherwise says how to run
# offscreen instead (with the same arguments) and fails.
qb_require_display() {
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
    return 0
  fi
  {
    echo "There is no display to show the program on: neither DISPLAY nor WAYLAND_DISPLAY is set."
    echo "Start it from a desktop session, or run it without a screen (offscreen) like this:"
    printf '    QT_QPA_PLATFORM=offscreen bash scripts/run.sh'
    [ $# -gt 0 ] && printf ' %q' "$@"
    printf '\n'
  } >&2
  return 1
}

# The desktop file's Exec value for a program path: the path quoted, with
# the characters that stay special inside quotes (" ` $ \) escaped, a
# literal % doubled, and then every backslash doubled once more, as the
# value is itself a string of the desktop file, whose own escapes are read
# first.
qb_desktop_exec_path() {
  local q=$1
  q=${q//\\/\\\\}
  q=${q//\"/\\\"}
  q=${q//\`/\\\`}
  q=${q//\$/\\\$}
  q=${q//%/%%}
  q=${q//\\/\\\\}
  printf '"%s"' "$q"
}

# qb_install_desktop_integration <program>
# Installs into $XDG_DATA_HOME (default ~/.local/share): applications/
# chromivel.desktop with Exec and TryExec naming <program>,
# mime/packages/chromivel.xml, and the program's icon (Icon=chromivel)
# from the build's share/icons/hicolor/ beside the program's folder into
# icons/hicolor/; then rebuilds the user's MIME and desktop databases with
# update-mime-database and update-desktop-database where they are
# installed. Returns non-zero when a file cannot be written; a build
# without the icon and the databases are a convenience and only warned
# about.
qb_install_desktop_integration() {
  local program=$1
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  local data=${XDG_DATA_HOME:-}
  # A relative XDG_DATA_HOME is to be ignored, as every reader does.
  [[ $data == /* ]] || data="$HOME/.local/share"
  local apps="$data/applications" mime="$data/mime"
  mkdir -p "$apps" "$mime/packages" || return 1

  local tryexec=${program//\\/\\\\}
  local exec
  exec="$(qb_desktop_exec_path "$program") %F"
  local line entry="$apps/.chromivel.desktop.new"
  {
    while IFS= read -r line || [ -n "$line" ]; do
      case $line in
        TryExec=*) printf 'TryExec=%s\n' "$tryexec" ;;
        Exec=*) printf 'Exec=%s\n' "$exec" ;;
        *) printf '%s\n' "$line" ;;
      esac
    done < "$root/resources/chromivel.desktop"
  } > "$entry" && chmod 0644 "$entry" && mv -f "$entry" "$apps/chromivel.desktop" || {
    rm -f "$entry"
    return 1
  }
  local types="$mime/packages/.chromivel.xml.new"
  cp "$root/resources/chromivel-mime.xml" "$types" && chmod 0644 "$types" &&
    mv -f "$types" "$mime/packages/chromivel.xml" || {
    rm -f "$types"
    return 1
  }

  local icons
  icons="$(dirname "$program")/../share/icons/hicolor"
  if [ -d "$icons" ]; then
    local png size target
    for png in "$icons"/*/apps/chromivel.png; do
      [ -f "$png" ] || continue
      size=$(basename "$(dirname "$(dirname "$png")")")
      target="$data/icons/hicolor/$size/apps"
      mkdir -p "$target" && cp "$png" "$target/.chromivel.png.new" &&
        chmod 0644 "$target/.chromivel.png.new" &&
        mv -f "$target/.chromivel.png.new" "$target/chromivel.png" || {
        rm -f "$target/.chromivel.png.new"
        return 1
      }
    done
    # The theme's own index is the system's; a cache only where one is kept.
    if [ -f "$data/icons/hicolor/icon-theme.cache" ] && command -v gtk-update-icon-cache >/dev/null 2>&1; then
      gtk-update-icon-cache -q -t "$data/icons/hicolor" >/dev/null 2>&1 || true
    fi
  else
    echo "warning: no icon beside the program ($icons); the menu entry shows none" >&2
  fi

  if command -v update-mime-database >/dev/null 2>&1; then
    update-mime-database "$mime" >/dev/null 2>&1 ||
      echo "warning: update-mime-database failed; list files may not open with CHROMIVEL yet" >&2
  fi
  if command -v update-desktop-database >/dev/null 2>&1; then
    update-desktop-database "$apps" >/dev/null 2>&1 ||
      echo "warning: update-desktop-database failed" >&2
  fi
  return 0
}
