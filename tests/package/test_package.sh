#!/usr/bin/env bash
# The program as a user gets it. The Debian package that CPack makes (its computed dependencies,
# apt's view of it, lintian) is installed into a scratch root with dpkg and removed again; the
# same build is installed with cmake --install into a scratch prefix. Each install is run under
# Xvfb by a user who is not root: an image loaded, the Writer prepared, Auto Program; then the
# log, the chip history and the simulated Writer's state must be in that user's data folder, and
# nothing under the install may have changed.
# Usage: test_package.sh <build folder>. Exit 77 (skipped) when a tool is missing or no user
# other than root can run the program.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
started=$(date +%s)
sample_name=VX3N2210
# A fresh simulated Writer gets the device's driver and restarts (the program waits 30 s).
fresh_writer_load_seconds=120
current_writer_load_seconds=60

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }
stage() { echo "== $* ($(( $(date +%s) - started )) s)"; }

for tool in cpack dpkg dpkg-deb dpkg-shlibdeps apt-get lintian xvfb-run xauth xdotool import; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (./scripts/install_deps.sh installs it)"
done
[ -x "$build/bin/vx3wt" ] || skip "the program is not built in $build"

# The operator: root runs the program as a system user, anyone else as themselves.
if [ "$(id -u)" -eq 0 ]; then
  command -v runuser >/dev/null || skip "runuser is missing: cannot run the program as a user who is not root"
  user=nobody
  if ! id -u "$user" >/dev/null 2>&1; then
    user=vx3wt-test
    id -u "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user" ||
      skip "neither 'nobody' nor a new system user can run the program"
  fi
  as_user() { runuser -u "$user" -- "$@"; }
else
  user=$(id -un)
  as_user() { "$@"; }
fi
group=$(id -gn "$user")
echo "running the installed program as $user"

scratch=$(mktemp -d /tmp/vx3wt-package.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
# The driver script where the user can read it, whatever the permissions of the source tree.
install -m 755 "$here/drive_window.sh" "$scratch/drive_window.sh"

# What lies under an install: path, size, time and mode of everything, to show nothing changed.
snapshot() { (cd "$1" && find . -printf '%p %s %T@ %m\n' | sort); }

# run_installed <name> <root of the install> <data folder> <seconds for the load> [VAR=value...]
run_installed() {
  local name=$1 root=$2 data=$3 load_seconds=$4; shift 4
  local home=$scratch/home-$name shots=$scratch/shots-$name
  mkdir -p "$home" "$shots"
  chown -R "$user:$group" "$home" "$shots"
  snapshot "$root/usr" > "$scratch/before-$name"
  as_user env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 shot_dir="$shots" "$@" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$scratch/drive_window.sh" \
    "$root/usr/bin/vx3wt" "$root/usr/share/vx3wt/samples/$sample_name.VX3" "$data" "$load_seconds" ||
    { cat "$shots/program.out" 2>/dev/null; fail "$name: the installed program did not do its job"; }
  snapshot "$root/usr" > "$scratch/after-$name"
  diff "$scratch/before-$name" "$scratch/after-$name" || fail "$name: something under the install changed"

  local log
  log=$(ls "$data"/Writer_Log/WT*.LOG 2>/dev/null | head -n1)
  [ -n "$log" ] || fail "$name: no operation log in $data/Writer_Log"
  grep -q "EEPROM verify O.K" "$log" || fail "$name: the log lacks the EEPROM verify"
  grep -q "^$sample_name" "$data/Writer_Log/History Chip.log" || fail "$name: the chip history lacks $sample_name"
  [ -s "$data/DLL/VX3USBOV3Wt.state" ] || fail "$name: the simulated Writer's state is not in the data folder"
  grep -q "Auto Program" "$data/DLL/VX3USBOV3Wt.trace" || fail "$name: no Auto Program reached the Writer"
  # Whatever the program writes into Writer_Log (the production record too) is the user's.
  [ -z "$(find "$root" -name 'Writer_Log' -o -name 'Load_OTP' -o -name '*.state' -o -name 'production.db')" ] ||
    fail "$name: data written under the install"
  [ -z "$(find "$home" "$data" ! -user "$user")" ] || fail "$name: files in the data folder not owned by $user"
  echo "$name: log, chip history and Writer state in $data"
}

# check_cli <name> <root of the install> [VAR=value...]: the installed command line answers
# --help, and loads a sample image with info (no Writer), as the user.
check_cli() {
  local name=$1 root=$2; shift 2
  local home=$scratch/home-$name
  mkdir -p "$home"
  chown "$user:$group" "$home"
  as_user env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 "$@" "$root/usr/bin/vx3wt-cli" --help \
    > "$scratch/cli-help-$name" 2>&1 || { cat "$scratch/cli-help-$name"; fail "$name: vx3wt-cli --help"; }
  grep -q "auto-program" "$scratch/cli-help-$name" || fail "$name: vx3wt-cli --help lists no commands"
  as_user env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 "$@" "$root/usr/bin/vx3wt-cli" info --json \
    "$root/usr/share/vx3wt/samples/$sample_name.VX3" > "$scratch/cli-info-$name" 2>&1 ||
    { cat "$scratch/cli-info-$name"; fail "$name: vx3wt-cli info"; }
  grep -q "\"device\":\"$sample_name\"" "$scratch/cli-info-$name" ||
    { cat "$scratch/cli-info-$name"; fail "$name: vx3wt-cli info did not load $sample_name"; }
  echo "$name: vx3wt-cli answers --help and info"
}

stage "the Debian package"
cpack --config "$build/CPackConfig.cmake" -B "$scratch/cpack" > "$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$(ls "$scratch"/cpack/vx3wt_*.deb)
chmod 644 "$deb"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6; do
  [[ ",$depends" == *", $library "* || ",$depends" == *",$library "* || ",$depends" == *", $library,"* ]] ||
    fail "the computed dependencies lack $library"
done
# apt resolves the package's dependencies to Debian's own packages.
apt-get install -s -q "$deb" > "$scratch/apt.log" 2>&1 || { cat "$scratch/apt.log"; fail "apt cannot install the package"; }
grep -q "^Inst vx3wt " "$scratch/apt.log" || { cat "$scratch/apt.log"; fail "apt would not install vx3wt"; }

stage "lintian"
lintian --fail-on error --display-level ">=warning" "$deb" | tee "$scratch/lintian.log" || fail "lintian found errors"

stage "dpkg into a scratch root"
root=$scratch/deb-root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg_root() { dpkg --root="$root" --log=/dev/null --force-depends --force-not-root --force-bad-path "$@"; }
dpkg_root -i "$deb" > "$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log"; fail "dpkg -i"; }
chmod 755 "$root"
stage "the package's program, run by $user"
run_installed deb "$root" "$scratch/home-deb/.local/share/vx3wt" "$fresh_writer_load_seconds"
check_cli deb "$root"
# The first start copied the shipped settings of the simulated Writer.
grep -q "^\[Firmware\]" "$scratch/home-deb/.local/share/vx3wt/DLL/VX3USBOV3Wt.ini" ||
  fail "the simulated Writer's settings were not copied on the first start"
dpkg_root -r vx3wt > "$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log"; fail "dpkg -r"; }
left=$(find "$root" ! -type d ! -path "$root/var/*")
[ -z "$left" ] || fail "files left after removal: $left"

stage "cmake --install into a scratch prefix"
prefix_root=$scratch/prefix-root
cmake --install "$build" --prefix "$prefix_root/usr" > "$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log"; fail "cmake --install"; }
chmod -R a+rX "$prefix_root"
# XDG_DATA_HOME named, and a Writer that has its firmware already: the user's settings are kept.
xdg=$scratch/home-install/data
data=$xdg/vx3wt
mkdir -p "$data/DLL"
sed -e 's/^DriverVersion=.*/DriverVersion=0x0105/' -e 's/^DriverDate=.*/DriverDate=0x2603/' \
  "$prefix_root/usr/lib/vx3wt/DLL/VX3USBOV3Wt.ini" > "$data/DLL/VX3USBOV3Wt.ini"
mkdir -p "$scratch/home-install"
chown -R "$user:$group" "$scratch/home-install"
stage "the installed program, run by $user"
run_installed install "$prefix_root" "$data" "$current_writer_load_seconds" XDG_DATA_HOME="$xdg"
check_cli install "$prefix_root" XDG_DATA_HOME="$xdg"
grep -q "^DriverDate=0x2603" "$data/DLL/VX3USBOV3Wt.ini" || fail "the user's simulated Writer settings were replaced"

stage "done"
