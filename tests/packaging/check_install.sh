#!/usr/bin/env bash
# check_install.sh BUILD_DIR HAVE_PNG_ICONS MAKE_MOVIE
# Installs BUILD_DIR into a temporary prefix and checks, against that prefix only, what a
# desktop relies on. Prints one line per failed check and exits 1 if there was any.
set -uo pipefail
build=$1
have_png=$2
make_movie=$3
version=4.00.00

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 \
  || { cat "$tmp/install.log"; echo "FAIL: cmake --install"; exit 1; }
share=$prefix/share

# The MIME database of the prefix, seen before the system's; nothing from the user's home.
update-mime-database "$share/mime" 2>"$tmp/mime.log" || fail "update-mime-database"
export XDG_DATA_DIRS=$share:/usr/share XDG_DATA_HOME=$tmp/home GIO_USE_VFS=local
mimetype() { gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'; }

# Programs answer --version without a display.
for program in quillreel quillreel-player quillreel-encoder; do
  if [ ! -x "$prefix/bin/$program" ]; then
    [ "$program" = quillreel-encoder ] && continue  # not every build has the encoder window yet
    fail "$program is not installed"
    continue
  fi
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/$program" --version 2>&1)
  [ "$out" = "$program $version" ] || fail "$program --version printed '$out'"
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/$program" --help >"$tmp/help" 2>&1 \
    && grep -q -i usage "$tmp/help" || fail "$program --help: $(head -c 200 "$tmp/help")"
done

# A finished movie from the movie database writer, which `quillreel info` reads back, and,
# where the encoder has its media sources, one that `quillreel encode` made from a tiny clip.
"$make_movie" "$tmp/written.pdb" || fail "make_movie"
"$prefix/bin/quillreel" info "$tmp/written.pdb" >"$tmp/info.log" 2>&1 \
  || { cat "$tmp/info.log"; fail "quillreel info on the written movie"; }
movies=("$tmp/written.pdb")
ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=5 -t 0.6 -pix_fmt yuv420p "$tmp/clip.mp4" \
  || fail "ffmpeg clip"
if "$prefix/bin/quillreel" encode "$tmp/clip.mp4" --video-only -o "$tmp/encoded.pdb" >"$tmp/encode.log" 2>&1; then
  movies+=("$tmp/encoded.pdb")
else
  echo "note: quillreel encode made no movie here: $(head -c 300 "$tmp/encode.log")"
fi
for movie in "${movies[@]}"; do
  got=$(mimetype "$movie")
  [ "$got" = application/x-quillreel-movie ] || fail "$(basename "$movie") is '$got'"
  # The magic bytes decide, not only the name.
  cp "$movie" "$tmp/renamed.bin"
  got=$(mimetype "$tmp/renamed.bin")
  [ "$got" = application/x-quillreel-movie ] || fail "$(basename "$movie") without .pdb name is '$got'"
done

# Palm database headers: name, 28 bytes of fields, then type and creator at offset 60.
header() {  # header FILE TYPECREATOR
  { printf 'Sample'; head -c 54 /dev/zero; printf '%s' "$2"; head -c 12 /dev/zero; } >"$1"
}
palm_family() {  # application/vnd.palm or one of its sub-classes, per the system database
  [ "$1" = application/vnd.palm ] || grep -q "^$1 application/vnd.palm$" /usr/share/mime/subclasses
}
for code in MvieQlRl WaveQlRl PMovQlRl PWavQlRl; do
  header "$tmp/$code.pdb" "$code"
  got=$(mimetype "$tmp/$code.pdb")
  [ "$got" = application/x-quillreel-movie ] || fail "$code database is '$got'"
done
for code in TEXtREAd DATAQlRl MvieMovi; do
  header "$tmp/$code.pdb" "$code"
  got=$(mimetype "$tmp/$code.pdb")
  [ "$got" != application/x-quillreel-movie ] && palm_family "$got" \
    || fail "$code database is '$got', not a generic Palm type"
done
grep -q '^application/x-quillreel-movie application/vnd.palm$' "$share/mime/subclasses" \
  || fail "the movie type is not a sub-class of application/vnd.palm"

# Launchers and AppStream data pass their validators; the player is the movies' handler.
for desktop in "$share"/applications/*.desktop; do
  desktop-file-validate "$desktop" || fail "desktop-file-validate $(basename "$desktop")"
  exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [ -x "$prefix/bin/$exec_program" ] || [ "$exec_program" = quillreel-encoder ] \
    || fail "$(basename "$desktop") runs '$exec_program', which is not installed"
done
[ -f "$share/applications/org.quillreel.Player.desktop" ] || fail "player launcher missing"
update-desktop-database "$share/applications" || fail "update-desktop-database"
grep -q '^application/x-quillreel-movie=org.quillreel.Player.desktop;$' \
  "$share/applications/mimeinfo.cache" || fail "movies do not open with the player"
for metainfo in "$share"/metainfo/*.xml; do
  appstreamcli validate --no-net "$metainfo" >"$tmp/appstream.log" 2>&1 \
    || { cat "$tmp/appstream.log"; fail "appstreamcli validate $(basename "$metainfo")"; }
done

# Icons under the names the launchers give, scalable and, when rendered, at each fixed size.
for icon in $(sed -n 's/^Icon=//p' "$share"/applications/*.desktop); do
  [ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "scalable icon $icon missing"
  if [ "$have_png" = 1 ]; then
    for size in 48 64 128 256; do
      file "$share/icons/hicolor/${size}x${size}/apps/$icon.png" | grep -q "PNG image data, $size x $size" \
        || fail "icon $icon at $size px missing or of the wrong size"
    done
  fi
done

# The man page is there and, where man-db is, renders without warnings.
page=$prefix/share/man/man1/quillreel.1.gz
if [ ! -f "$page" ]; then
  fail "man page missing"
elif command -v man >/dev/null; then
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man page warnings: $warnings"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "packaging: install checks passed"
