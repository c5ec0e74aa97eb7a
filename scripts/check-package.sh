#!/usr/bin/env bash
# Checks the Debian package on a clean Debian 12 system, as a user would meet it:
#   1. scripts/package.sh builds the .deb;
#   2. a minimal bookworm is made with debootstrap (kept in
#      build-package/bookworm and copied afresh for every run; FRESH=1 makes
#      it again) and the package is installed there with apt-get;
#   3. the menu entries are looked up as a desktop's menu does (GLib's index
#      of desktop entries, in Russian), with their icons;
#   4. each program is started from its menu entry on an Xvfb display; its
#      window must appear with its caption and icon, and is photographed into
#      build-package/check/; Ostrin and Zelmar also on a demo register opened
#      through their own menus and file dialogs, to compare with the README's
#      screenshots.
# Needs root (debootstrap, chroot, mount) and the network to the Debian mirror
# this machine's apt uses.
# It takes minutes, so it is not part of ./test.sh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
[[ $(id -u) -eq 0 ]] || { echo "check-package: run as root (chroot and mount)" >&2; exit 1; }

need=()
for tool in debootstrap:debootstrap Xvfb:xvfb import:imagemagick xwininfo:x11-utils xdotool:xdotool; do
    command -v "${tool%%:*}" >/dev/null || need+=("${tool#*:}")
done
((${#need[@]} == 0)) || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"

deb=$(scripts/package.sh | tail -1)
base=${ROOTFS:-$root/build-package/bookworm}
sys=$base.run
out=$root/build-package/check
rm -rf "$out" && mkdir -p "$out"

# The Debian mirror this machine's apt takes its packages from (one-line
# sources or deb822 .sources files, the security archive aside), so the check
# works wherever apt works; MIRROR overrides it.
apt_mirror() {
    local uri
    uri=$(grep -hsE '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list | grep -v security |
        awk '{for (i = 2; i <= NF; i++) if ($i ~ /^[a-z+]+:\/\//) {print $i; exit}}' | head -1)
    [[ -n $uri ]] || uri=$(grep -hsE '^[[:space:]]*URIs:' /etc/apt/sources.list.d/*.sources | grep -v security | awk '{print $2}' | head -1)
    [[ -n $uri ]] || { echo "check-package: no Debian mirror in this machine's apt sources; set MIRROR" >&2; exit 1; }
    echo "$uri"
}
if [[ -n ${FRESH:-} || ! -e $base/etc/debian_version ]]; then
    rm -rf "$base"
    debootstrap --variant=minbase bookworm "$base" "${MIRROR:-$(apt_mirror)}"
fi
# Never remove a copy with the host's /dev or /proc still mounted in it.
for m in tmp/.X11-unix dev proc; do
    if mountpoint -q "$sys/$m" 2>/dev/null; then umount -l "$sys/$m"; fi
done
if grep -q " $sys/" /proc/mounts; then
    echo "check-package: something is still mounted under $sys; unmount it first" >&2
    exit 1
fi
rm -rf "$sys"
cp -a "$base" "$sys"

display=:98
mounted=()
cleanup() {
    pkill -f "Xvfb $display" 2>/dev/null || true
    for ((i = ${#mounted[@]} - 1; i >= 0; --i)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
}
trap cleanup EXIT
for m in proc dev tmp/.X11-unix; do
    mkdir -p "/$m" "$sys/$m"
    mount --rbind "/$m" "$sys/$m"
    mounted+=("$sys/$m")
done
in_sys() { chroot "$sys" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

echo "== installing $(basename "$deb") on a clean bookworm"
cp "$deb" "$sys/tmp/"
in_sys apt-get update -qq
in_sys env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "/tmp/$(basename "$deb")"
# The package's recommendations, but for Writer (the export is checked by the
# tests), and GLib's desktop-entry lookup for this check.
in_sys env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    fonts-liberation libqt6svg6 python3-gi gir1.2-glib-2.0 >/dev/null

echo "== menu entries"
cat > "$sys/tmp/menu.py" <<'PY'
import os, sys
import gi
gi.require_version("Gio", "2.0")
from gi.repository import Gio

shown = {a.get_id() for a in Gio.AppInfo.get_all() if a.should_show()}
for entry in ("zelmar", "ostrin", "tavrel"):
    app = Gio.DesktopAppInfo.new(entry + ".desktop")
    if app is None or app.get_id() not in shown:
        sys.exit(f"{entry}.desktop is not in the menu")
    icon = app.get_icon().to_string()
    path = f"/usr/share/icons/hicolor/scalable/apps/{icon}.svg"
    if not os.path.isfile(path) or not os.path.isfile("/usr/share/icons/hicolor/index.theme"):
        sys.exit(f"the icon {icon} of {entry} is not in the hicolor theme")
    print(f"{entry}: «{app.get_name()}» — {app.get_generic_name()}; icon {path}; "
          f"categories {app.get_categories()}; starts {app.get_executable()}")
PY
in_sys env LANGUAGE=ru LC_ALL=C.UTF-8 python3 /tmp/menu.py

echo "== starting the programs from their entries"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
sleep 1
export DISPLAY=$display
launch() {
    in_sys env DISPLAY=$display LANGUAGE=ru python3 -c "
import gi; gi.require_version('Gio', '2.0')
from gi.repository import Gio
assert Gio.DesktopAppInfo.new('$1.desktop').launch([], None)"
}
window_of() {  # the id of the top-level window with this caption, waiting for it
    local id=""
    for _ in $(seq 50); do
        id=$(xwininfo -root -tree | awk -v c="\"$1\"" 'index($0, c) { print $1; exit }')
        [[ -n $id ]] && break
        sleep 0.2
    done
    [[ -n $id ]] || { echo "check-package: no window «$1»" >&2; exit 1; }
    echo "$id"
}
check_program() {  # entry, program, caption
    launch "$1"
    local id
    id=$(window_of "$3")
    sleep 1
    local props
    props=$(xprop -id "$id" WM_CLASS _NET_WM_ICON)
    grep -q 'Icon (' <<<"$props" || { echo "check-package: $2 shows no icon" >&2; exit 1; }
    # The menu entry's StartupWMClass finds the window by its class.
    grep -q "WM_CLASS.*\"$2\"" <<<"$props" || { echo "check-package: $2's window class is not $2" >&2; exit 1; }
    import -window "$id" "$out/$1.png"
    echo "$2: window «$3» with its icon; $out/$1.png"
}
# Chooses the demo register through the window's own "открыть базу" (the
# first item of its menu bar) and file dialog; sets wx and wy to the window's corner.
open_demo() {  # caption
    local id
    id=$(window_of "$1")
    eval "$(xwininfo -id "$id" | awk '/Absolute upper-left X/ { print "wx=" $NF } /Absolute upper-left Y/ { print "wy=" $NF }')"
    xdotool mousemove $((wx + 40)) $((wy + 10)) click 1
    window_of "Открыть" >/dev/null
    sleep 1
    xdotool type --delay 20 "/root/demo/demo.mdb"
    xdotool key Return
    sleep 1
}
in_sys regtool demo /root/demo

check_program ostrin Ostrin "База ЗУРТ"
open_demo "База ЗУРТ"
import -window "$(window_of "База ЗУРТ")" "$out/ostrin-demo.png"
pkill -x Ostrin
echo "Ostrin: the demo listed; $out/ostrin-demo.png"
check_program tavrel Tavrel "Добавление данных в базу"
pkill -x Tavrel
check_program zelmar Zelmar "просмотр данных"
open_demo "просмотр данных"
# "начать просмотр" is the menu bar's second item.
xdotool mousemove $((wx + 150)) $((wy + 10)) click 1
sleep 1
import -window "$(window_of "просмотр данных")" "$out/zelmar-demo.png"
pkill -x Zelmar
echo "Zelmar: the demo's first card; $out/zelmar-demo.png"
echo "check-package: OK"
