#!/usr/bin/env bash
# install_test.sh TOOLS_DIR WINE_STATE INSTALLER VERSION
# The installer under Wine, silent as an administrator would run it: the files,
# the shortcut and the registry entries it makes, the start-at-sign-in choice
# over several installations, a running notifier asked to close, the user's
# INI file kept byte for byte, and an uninstallation that leaves nothing of
# ours but that INI file.
set -uo pipefail
tools=$1; state=$2; installer=$3; version=$4
. "$tools/wine-env" "$state" || exit 1
wine_ensure || exit 1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Wine programs write through files: a service process a program starts must
# not hold a pipe of ours open.
run() { "$WINE_LOADER" "$@" >"$scratch/out" 2>"$scratch/err" </dev/null; }
output() { tr -d '\r' <"$scratch/out"; }
winvar() { run cmd /c echo "%$1%"; output; }
unixpath() { run winepath -u "$1"; output; }

run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelimbo'
# The value of a registry entry as reg query prints it, or nothing.
reg_value() {
  run reg query "$1" /v "$2" || return 0
  output | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

localappdata=$(winvar LOCALAPPDATA)
appdata=$(winvar APPDATA)
instdir="$localappdata\\Programs\\Pelimbo"
ini="$appdata\\Pelimbo\\PELIMBO.INI"
unix_instdir=$(unixpath "$instdir")
unix_settings=$(unixpath "$appdata\\Pelimbo")
unix_shortcut="$(unixpath "$appdata")/Microsoft/Windows/Start Menu/Programs/Pelimbo.lnk"
program="$instdir\\pelimbo32.exe"
installer_win=$(cd "$(dirname "$installer")" && pwd)/$(basename "$installer")
installer_win="Z:${installer_win//\//\\}"

# Whatever an earlier, broken run left behind, and what a broken run leaves:
# the prefix is shared, and a Run value would start the notifier with Wine.
clean() {
  rm -rf "$unix_instdir" "$unix_settings" "$unix_shortcut"
  run reg delete "$run_key" /v Pelimbo /f
  run reg delete "$uninstall_key" /f
}
clean
trap '[ $failures -eq 0 ] || clean; rm -rf "$scratch"' EXIT

install() {
  run "$installer_win" /S "$@"
  local status=$?
  [ $status -eq 0 ] || { fail "installer $* ended with $status: $(cat "$scratch/err")"; }
}

# --- First installation ------------------------------------------------------------
install
missing=""
for f in pelimbo32.exe pelcheck32.exe pelsetup32.dll pelnw32.dll PELIMBO.HTM SAMPLE.INI README-WINDOWS.txt \
         Uninstall.exe; do
  [ -f "$unix_instdir/$f" ] || missing="$missing $f"
done
[ -z "$missing" ] && pass "files in $instdir" || fail "missing in $instdir:$missing"
[ -d "$unix_settings" ] && pass "settings folder made" || fail "no folder $appdata\\Pelimbo"
[ ! -e "$unix_settings/PELIMBO.INI" ] && pass "no INI file before the first start" || fail "installer wrote an INI file"

expected_run="\"$program\" \"$ini\""
[ "$(reg_value "$run_key" Pelimbo)" = "$expected_run" ] && pass "Run value: $expected_run" \
  || fail "Run value '$(reg_value "$run_key" Pelimbo)', expected '$expected_run'"

check_value() {
  local got; got=$(reg_value "$uninstall_key" "$1")
  [ "$got" = "$2" ] && pass "Uninstall $1: $2" || fail "Uninstall $1 '$got', expected '$2'"
}
check_value DisplayName Pelimbo
check_value DisplayVersion "$version"
check_value DisplayIcon "$program,0"
check_value UninstallString "\"$instdir\\Uninstall.exe\""
check_value QuietUninstallString "\"$instdir\\Uninstall.exe\" /S"
size=$(reg_value "$uninstall_key" EstimatedSize)
[ -n "$size" ] && [ $((size)) -gt 100 ] && pass "EstimatedSize $((size)) KB" || fail "EstimatedSize '$size'"

# The shortcut starts the notifier with the INI file, in the settings folder.
if [ -f "$unix_shortcut" ]; then
  python3 - "$unix_shortcut" "$program" "\"$ini\"" "$appdata\\Pelimbo" <<'PY' && pass "shortcut names $program \"$ini\"" || fail "shortcut"
import sys
data = open(sys.argv[1], "rb").read()
for text in sys.argv[2:]:
    if text.encode("utf-16-le") not in data and text.encode("latin-1") not in data:
        sys.exit("shortcut lacks " + text)
PY
else
  fail "no shortcut $unix_shortcut"
fi

if run "$instdir\\pelcheck32.exe" --help && output | grep -q -- "--help"; then
  pass "installed pelcheck32.exe --help runs"
else
  fail "installed pelcheck32.exe --help: $(output) $(cat "$scratch/err")"
fi

# --- Installing again: the INI file and the start-at-sign-in choice stay --------------
printf '[Pelimbo]\r\nMessageSource=0\r\nPollInterval=600\r\n; hand-edited: \xe9t\xe9 \xff\r\nSoundOption=3' \
  >"$unix_settings/PELIMBO.INI"
cp "$unix_settings/PELIMBO.INI" "$scratch/ini.before"
install /StartAtSignIn=0
[ -z "$(reg_value "$run_key" Pelimbo)" ] && pass "/StartAtSignIn=0 removes the Run value" \
  || fail "Run value left by /StartAtSignIn=0"
install
[ -z "$(reg_value "$run_key" Pelimbo)" ] && pass "installing again keeps the choice (off)" \
  || fail "installing again turned start at sign-in back on"
cmp -s "$scratch/ini.before" "$unix_settings/PELIMBO.INI" && pass "INI file unchanged, byte for byte" \
  || fail "INI file changed by installing again"

# A running notifier of this installation is asked to close before its files
# are replaced: it exits the way its Exit command does, writing its geometry.
mkdir -p "$scratch/mail"
: >"$scratch/mail/empty.mbx"
mail_win="Z:${scratch//\//\\}\\mail\\empty.mbx"
ini_win="Z:${scratch//\//\\}\\mail\\running.ini"
printf '[Pelimbo]\r\nMessageSource=0\r\nMailFile=%s\r\nPollInterval=600\r\nSoundOption=3\r\n' "$mail_win" \
  >"$scratch/mail/running.ini"
"$WINE_LOADER" "$program" "$ini_win" </dev/null >/dev/null 2>&1 &
notifier=$!
for _ in $(seq 1 40); do
  run tasklist
  output | grep -qi pelimbo32 && break
  sleep 0.25
done
sleep 1
install /StartAtSignIn=yes
ended=0
for _ in $(seq 1 40); do
  kill -0 $notifier 2>/dev/null || { ended=1; break; }
  sleep 0.25
done
if [ $ended = 1 ] && grep -q '^Position=' "$scratch/mail/running.ini"; then
  pass "the running notifier was closed (and saved its geometry)"
else
  fail "the running notifier was not closed"
  kill $notifier 2>/dev/null
fi
[ "$(reg_value "$run_key" Pelimbo)" = "$expected_run" ] && pass "/StartAtSignIn=yes writes the Run value" \
  || fail "no Run value after /StartAtSignIn=yes"

# --- Uninstallation ------------------------------------------------------------------
# _?= keeps the uninstaller in place, so the run is waited for; it cannot
# delete its own running file, which is then the only one left.
run "$instdir\\Uninstall.exe" /S "_?=$instdir" || fail "uninstaller ended with $?"
left=$(cd "$unix_instdir" 2>/dev/null && ls -A | grep -v '^Uninstall.exe$')
[ -z "$left" ] && pass "no program file left" || fail "left in $instdir: $left"
rm -f "$unix_instdir/Uninstall.exe"
rmdir "$unix_instdir" 2>/dev/null
[ ! -e "$unix_shortcut" ] && pass "shortcut removed" || fail "shortcut left"
run reg query "$run_key" /v Pelimbo && fail "Run value left" || pass "Run value removed"
run reg query "$uninstall_key" && fail "Uninstall key left" || pass "Uninstall key removed"
cmp -s "$scratch/ini.before" "$unix_settings/PELIMBO.INI" && pass "silent uninstall kept the INI file" \
  || fail "silent uninstall did not keep the INI file"
rm -rf "$unix_settings"

[ $failures -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "installer: all checks passed"
