#!/usr/bin/env bash
# CI's package stage: builds the Debian package from a build tree that is
# already built (scripts/test.sh's), checks it with lintian (errors fail,
# warnings are shown), installs it on this machine with apt-get, runs the
# installed talvexctl, validates the desktop entry and the AppStream data,
# and removes the package again, also when a step failed.
#   bash scripts/package-ci.sh [build-dir]   (default: build)
# Installs and removes a system package: run it as root or with sudo.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
package=talvex-setting-manager
app_id=example.talvex.SettingManager

say() { echo "package-ci: $*"; }
fail() { echo "package-ci: $*" >&2; exit 1; }

sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
# A package the user installed is left alone: only CI's fresh machine tries the install.
preinstalled=
dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" && preinstalled=1

echo "== Debian package: build, lintian, install, run, remove"
say "building the package from $build"
deb=$(bash "$root/scripts/package.sh" "$build" "$build/package" | tail -n 1)
say "$(basename "$deb"): $(du -h "$deb" | cut -f1)"
dpkg-deb --field "$deb" Depends Recommends Suggests | sed 's/^/package-ci:   /'

say "lintian"
lintian_log="$build/package/lintian.log"
status=0
lintian --fail-on error --display-info "$deb" >"$lintian_log" 2>&1 || status=$?
sed 's/^/package-ci:   /' "$lintian_log"
count() { grep -c "^$1:" "$lintian_log" || true; }
say "lintian: $(count E) errors, $(count W) warnings, $(count I) infos"
[[ $status -eq 0 ]] || fail "lintian found errors"
# A programmer plugged in before the install gets the rule: the postinst
# asks udev to apply it to 0403:6010 devices and their ports.
postinst=$(dpkg-deb -I "$deb" postinst) || fail "the package has no postinst"
grep -q 'udevadm trigger --action=change --parent-match' <<<"$postinst" && grep -q '6010' <<<"$postinst" \
    || fail "the postinst does not trigger udev for the programmer's chip"
metainfo=$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - "./usr/share/metainfo/$app_id.metainfo.xml")
grep -q '<developer id=' <<<"$metainfo" && grep -q '<screenshot type="default">' <<<"$metainfo" \
    || fail "the AppStream data lacks the developer or the screenshots"

if [[ -n $preinstalled ]]; then
    say "SKIPPED install, run and removal: $package is installed on this machine already"
    exit 0
fi

apt() { DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get "$@" </dev/null; }
installed=
cleanup() {
    if [[ -n $installed ]]; then
        say "removing $package"
        apt remove -y -qq "$package" >/dev/null 2>&1 || true
    fi
}
trap cleanup EXIT

say "installing $(basename "$deb")"
installed=1
apt install -y -qq "$deb" >"$build/package/install.log" 2>&1 \
    || { cat "$build/package/install.log" >&2; fail "apt-get install failed"; }

version=$(/usr/bin/talvexctl --version)
say "$version"
[[ $version == "talvexctl (TalvexUSB-Setting Manager) "* ]] || fail "unexpected version line: $version"

say "talvexctl --simulate detect (the simulated programmer in real time)"
detect=$(/usr/bin/talvexctl --simulate --quiet detect </dev/null) || fail "talvexctl --simulate detect failed: $detect"
grep -q '^reader1-port: COM3$' <<<"$detect" || fail "detect found no programmer on COM3: $detect"
sed 's/^/package-ci:   /' <<<"$detect"

for program in talvex-setting-manager talvex-simulator; do
    [[ -x /usr/bin/$program ]] || fail "/usr/bin/$program is missing"
done
/usr/bin/talvex-setting-manager --version </dev/null | sed 's/^/package-ci:   /'

say "desktop-file-validate"
desktop-file-validate "/usr/share/applications/$app_id.desktop" || fail "the desktop entry is not valid"
say "appstreamcli validate"
appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml" || fail "the AppStream data is not valid"

# The installed rule is where doctor looks, and in its words complete.
rule=$(/usr/bin/talvexctl doctor --port /dev/null --server http://127.0.0.1:1/ --json </dev/null || true)
grep -q '"check":"udev-rule","subject":"/usr/lib/udev/rules.d/60-talvex-programmer.rules","level":"ok"' <<<"$rule" \
    || fail "doctor does not find the installed udev rule complete: $rule"
zcat /usr/share/man/man1/talvexctl.1.gz | grep -q '^\.SS talvexctl doctor$' || fail "the man page lacks doctor"
for completion in bash-completion/completions/talvexctl zsh/vendor-completions/_talvexctl \
    fish/vendor_completions.d/talvexctl.fish; do
    grep -q 'usb-serial' "/usr/share/$completion" || fail "/usr/share/$completion is missing or empty"
done

say "removing $package"
apt remove -y -qq "$package" >"$build/package/remove.log" 2>&1 \
    || { cat "$build/package/remove.log" >&2; fail "apt-get remove failed"; }
installed=
[[ ! -e /usr/bin/talvexctl ]] || fail "/usr/bin/talvexctl is still there after the removal"
say "installed, ran and removed $package"
