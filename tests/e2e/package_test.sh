#!/usr/bin/env bash
# The Debian package as a user gets it: built by scripts/package, clean for lintian and appstreamcli,
# installed with apt into a fresh Debian system made by debootstrap (none of the build dependencies
# there), run there in French on this session's display, and purged without leaving a file behind.
# The test runs in a mount namespace of its own, so the mounts of the fresh system go when it ends.
if [ -z "${SK_PRIVATE_MOUNTS:-}" ]; then
    SK_PRIVATE_MOUNTS=1 exec unshare --mount --propagation private bash "$0" "$@"
fi
source "$(dirname "$0")/../harness/lib.sh"

src=${SEALKEEP_SOURCE_DIR:?}

# ---------------------------------------------------------------------------------------------------------
# The package and what Debian's checkers say of it.
deb=$("$src/scripts/package" "$SK_TMP/out" </dev/null | tail -n 1)
[ -f "$deb" ] || { sk_fail "scripts/package printed no package file on its last line: '$deb'"; sk_finish; }
sk_pass "scripts/package built $(basename "$deb")"
version=$(dpkg-deb -f "$deb" Version)
sk_check_eq "the package's version is the project's" \
    "$(sed -n 's/^project(sealkeep VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")" "$version"

# Every tag lintian knows, informational and pedantic ones too, is logged; errors and warnings fail.
lintian -I -E --pedantic "${deb%.deb}.changes" >"$SK_TMP/lintian.txt" 2>&1
sk_log "lintian: $(grep -v 'running with root privileges' "$SK_TMP/lintian.txt" | tr '\n' ';')"
sk_check_eq "lintian reports no error and no warning" "" "$(grep -E '^[EW]: ' "$SK_TMP/lintian.txt")"

# The default templates run ssh, cssh, ftp and telnet in a terminal emulator and open web pages with
# xdg-open, and Log in needs an ssh that takes SSH_ASKPASS_REQUIRE: a plain install must bring the
# terminal, ssh and xdg-open along, and name the others.
relations=$(dpkg-deb -f "$deb" Recommends)
for wanted in "openssh-client (>= 1:8.4)" xdg-utils "xterm | x-terminal-emulator"; do
    sk_check_contains "the package recommends $wanted" "$relations" "$wanted"
done
suggested=$(dpkg-deb -f "$deb" Suggests)
for wanted in clusterssh telnet ftp; do
    sk_check_contains "the package suggests $wanted" "$suggested" "$wanted"
done

dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|; s|/$||' | grep -v '^$' | sort >"$SK_TMP/contents"
for file in /usr/bin/sealkeep /usr/bin/sealkeep-askpass /usr/share/man/man1/sealkeep-askpass.1.gz /usr/share/glib-2.0/schemas/net.sealkeep.Sealkeep.gschema.xml \
    /usr/share/locale/fr/LC_MESSAGES/sealkeep.mo /usr/share/locale/de/LC_MESSAGES/sealkeep.mo \
    /usr/share/applications/sealkeep.desktop /usr/share/icons/hicolor/48x48/apps/sealkeep.png \
    /usr/share/icons/hicolor/scalable/apps/sealkeep.svg /usr/share/man/man1/sealkeep.1.gz \
    /usr/share/metainfo/net.sealkeep.Sealkeep.metainfo.xml /usr/share/doc/sealkeep/copyright; do
    sk_check "the package holds $file" grep -qx "$file" "$SK_TMP/contents"
done
sk_check_eq "nothing outside /usr, no schema compiled by hand" "" \
    "$(grep -v -e '^/usr$' -e '^/usr/' -e '^\.$' "$SK_TMP/contents"; grep gschemas.compiled "$SK_TMP/contents")"
dpkg-deb -x "$deb" "$SK_TMP/unpacked"
sk_check "appstreamcli validate accepts the metainfo file" \
    appstreamcli validate --no-net "$SK_TMP/unpacked/usr/share/metainfo/net.sealkeep.Sealkeep.metainfo.xml"

# ---------------------------------------------------------------------------------------------------------
# A fresh Debian of this machine's release: debootstrap's minimal system, kept as a tarball with the
# packages apt fetched, so that only the first run downloads them.
cache=${SEALKEEP_PACKAGE_CACHE:-/var/cache/sealkeep-package-test}
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
base=$cache/$suite-minbase.tar
mkdir -p "$cache/debs" "$cache/archives/partial"
if [ ! -s "$base" ]; then
    sk_log "making the fresh system with debootstrap (first run only)"
    if ! debootstrap --variant=minbase --cache-dir="$cache/debs" "$suite" "$SK_TMP/base" \
        http://deb.debian.org/debian >"$SK_TMP/debootstrap.log" 2>&1; then
        tail -n 30 "$SK_TMP/debootstrap.log"
        sk_fail "debootstrap could not make a $suite system"
        sk_finish
    fi
    tar -C "$SK_TMP/base" -cf "$base.part" . && mv "$base.part" "$base"
    rm -rf "$SK_TMP/base"
fi
root=$SK_TMP/root
mkdir -p "$root"
tar -C "$root" -xf "$base"
# The same archives as this machine (its updates included, which the package was built against).
rm -f "$root/etc/apt/sources.list"
cp /etc/apt/sources.list.d/*.sources "$root/etc/apt/sources.list.d/" 2>/dev/null || true
[ -f /etc/apt/sources.list ] && cp /etc/apt/sources.list "$root/etc/apt/"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --bind "$cache/archives" "$root/var/cache/apt/archives"
# The display's socket (the toolkit also finds the abstract one, which a chroot does not hide).
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"

in_root() {
    chroot "$root" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}

cp "$deb" "$root/tmp/"
in_root apt-get update -q >"$SK_TMP/apt-update.log" 2>&1
sk_check "apt-get install ./$(basename "$deb") works in the fresh system" \
    in_root sh -c "cd /tmp && apt-get install -y -q ./$(basename "$deb") >/tmp/apt-install.log 2>&1"
tail -n 5 "$root/tmp/apt-install.log"
for dev in libgtk2.0-dev libglib2.0-dev cmake g++ debhelper; do
    sk_check_eq "$dev was not needed" "" \
        "$(chroot "$root" dpkg-query -W -f='${db:Status-Status}' "$dev" 2>/dev/null | grep -x installed)"
done
in_root dpkg -L sealkeep | sort >"$SK_TMP/installed"
sk_check "the package system's trigger compiled the schema" \
    grep -aq net.sealkeep.Sealkeep "$root/usr/share/glib-2.0/schemas/gschemas.compiled"
sk_check "the icon cache was updated by its trigger" grep -aq sealkeep "$root/usr/share/icons/hicolor/icon-theme.cache"
sk_check_eq "the installed program tells its version" "Sealkeep $version" "$(in_root sealkeep --version)"

# The installed program in French, on this session's display, with a private bus of the fresh system's
# own dbus and dconf. The titles of its dialogs are read from the X server.
mkdir -p "$root/tmp/user/.local/share"
chroot "$root" env -i PATH=/usr/bin:/bin HOME=/tmp/user XDG_CONFIG_HOME=/tmp/user/.config DISPLAY="$DISPLAY" \
    LANG=C.UTF-8 LANGUAGE=fr NO_AT_BRIDGE=1 dbus-run-session -- sealkeep -n >"$SK_TMP/run.out" 2>&1 </dev/null &
SK_PID=$!
if sk_wait_window 30; then
    sk_pass "the installed program opens its window"
    sk_start_wm || true
    sk_focus
    sk_menu f 1 # Fichier, Préférences
    setup=$(sk_x xdotool search --sync --onlyvisible --name '^Configuration$' 2>/dev/null | head -n 1)
    sk_check "the Setup dialog comes up in French (Configuration)" test -n "$setup"
    sk_screenshot french-setup >/dev/null || true
    [ -n "$setup" ] && sk_key Escape
    sleep 0.3
    sk_focus
    sk_menu f 0 # Fichier, Ouvrir un fichier
    chooser=$(sk_x xdotool search --sync --onlyvisible --name '^Choisir un nouveau fichier de mots de passe$' \
        2>/dev/null | head -n 1)
    sk_check "the chooser comes up in French" test -n "$chooser"
    [ -n "$chooser" ] && sk_key Escape
    sleep 0.3
    sk_focus
    sk_key ctrl+q
    sk_wait_exit 10
    sk_check_eq "Quit ends the installed program with status 0" 0 "$SK_STATUS"
else
    sk_fail "the installed program's window did not appear"
    cat "$SK_TMP/run.out"
fi
sk_check_eq "the installed program found its schema and catalogue without a complaint" "" \
    "$(grep -iE 'critical|warning|schema|sealkeep:' "$SK_TMP/run.out")"

# ---------------------------------------------------------------------------------------------------------
sk_check "apt-get purge sealkeep works" in_root sh -c "apt-get purge -y -q sealkeep >/tmp/apt-purge.log 2>&1"
left=
while read -r path; do
    [ -d "$root$path" ] && continue # folders shared with other packages stay
    [ -e "$root$path" ] && left="$left $path"
done <"$SK_TMP/installed"
sk_check_eq "no file of the package is left" "" "$left"
sk_check_eq "no file named after it anywhere in the system" "" \
    "$(find "$root/usr" "$root/etc" "$root/var/lib" -iname '*sealkeep*' 2>/dev/null)"
sk_check "the schema was compiled out again" sh -c "! grep -saq net.sealkeep.Sealkeep '$root/usr/share/glib-2.0/schemas/gschemas.compiled'"
sk_check "the icon cache no longer names it" sh -c "! grep -saq sealkeep '$root/usr/share/icons/hicolor/icon-theme.cache'"
sk_finish
