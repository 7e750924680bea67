#!/usr/bin/env bash
# The updater end to end under Wine, in a prefix of its own (the forced
# restart ends every process of its Wine session): -V, -f, -s and the
# switches that start nothing, and a run where the dialog cannot be made,
# in a tool folder whose outside programs are
# stand-ins that log their command line, working directory and the status
# value they see. Run under an X server (xvfb-run): the popup is a window.
#   e2e.sh SOURCE_DIR WORK_DIR UPDATER_EXE STANDIN_EXE
set -euo pipefail
src=$1 work=$2 updater=$3 standin=$4

rm -rf "$work"
mkdir -p "$work"
export ORVANE_WINEPREFIX="$work/prefix"
w() { "$src/scripts/wine-env" wine "$@"; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
fail() { echo "FAIL: $*"; echo "--- log"; cat "$log" 2>/dev/null || true; exit 1; }

tool="$work/tool"
mkdir -p "$tool/driver/x64" "$tool/driver/x86" "$work/product" "$work/led"
cp "$updater" "$tool/Zelvar_FW_Update_Tool.exe"
cp "$standin" "$tool/218_Win.exe"
for arch in x64 x86; do
  cp "$standin" "$tool/driver/$arch/install.exe"
  cp "$standin" "$tool/driver/$arch/uninstall.exe"
done
cp "$standin" "$work/product/unins000.exe"
cp "$standin" "$work/chores.exe"
for name in Glimward.exe GlimwardHelper.exe witness.exe; do cp "$standin" "$work/led/$name"; done
printf 'R39218 image' > "$tool/fw_R39218.bin"
mkdir "$tool/image.bin"            # a directory is no candidate
printf 'x' > "$tool/FW.BIN"        # nor is upper case

log="$work/log.txt"
export UPDATER_STANDIN_LOG
UPDATER_STANDIN_LOG=$(winpath "$log")
T=$(winpath "$tool")
D="$T\\driver\\x64"

# Log lines without trailing blanks before the separators.
normalised() { sed -e 's/ *|/|/g' -e 's/\r$//' "$log"; }
expect_lines() {
  local got
  got=$(normalised | grep -v '^probe' || true)
  [ "$got" = "$1" ] || fail "$2: commands differ
--- expected
$1
--- got
$got"
}

w "$work/chores.exe" --status >/dev/null   # the prefix is made here

echo "== -V: version query"
rm -f "$log"
rc=0; w "$tool/Zelvar_FW_Update_Tool.exe" -V || rc=$?
[ "$rc" = 1 ] || fail "-V exit code $rc"
expect_lines "install.exe||$D|absent
218_Win.exe|/G|$T|absent
uninstall.exe||$D|absent" "-V"
grep -q "R39218 firmware version 3.7" "$tool/Version.txt" || fail "Version.txt not written through the redirection"

echo "== -f: reported update"
rm -f "$log" "$tool/Version.txt"
w "$work/chores.exe" --create-status-key || fail "status key"
w "$work/led/Glimward.exe" --sleep 120000 & led=$!
w "$work/led/GlimwardHelper.exe" --sleep 120000 & helper=$!
# Two screenshots while the flasher stand-in looks at the popup.
( for _ in $(seq 1 900); do
    if grep -q '^probe popup' "$log" 2>/dev/null; then
      sleep 1.5; import -window root "$work/popup1.png"
      sleep 3; import -window root "$work/popup2.png"
      exit 0
    fi
    sleep 0.1
  done; exit 1 ) & shooter=$!
rc=0; w "$tool/Zelvar_FW_Update_Tool.exe" -f || rc=$?
[ "$rc" = 1 ] || fail "-f exit code $rc"
expect_lines "install.exe||$D|start install.exe
218_Win.exe|/WA:fw_R39218.bin|$T|start 218_Win.exe /WA
218_Win.exe|/G|$T|start 218_Win.exe /G
uninstall.exe||$D|start uninstall.exe" "-f"
status=$(w "$work/chores.exe" --status | tr -d '\r')
[ "$status" = "key present value absent" ] || fail "after -f: $status"
grep -q "R39218 firmware version 3.7" "$tool/Version.txt" || fail "Version.txt after -f"
for pid in $led $helper; do
  lrc=0; wait "$pid" || lrc=$?
  [ "$lrc" = 0 ] || fail "a Glimward process was not terminated (exit $lrc)"
done
# The popup while a command ran: at 0,0, topmost, no caption, no taskbar
# button, no owner, and its dots moving.
probes=$(grep '^probe' "$log" | tr -d '\r')
[ "$(echo "$probes" | wc -l)" = 2 ] || fail "popup probes: $probes"
first=$(echo "$probes" | sed -n 1p) second=$(echo "$probes" | sed -n 2p)
for p in "$first" "$second"; do
  case "$p" in
    "probe popup at 0,0 topmost 1 caption 0 border 1 appwindow 0 visible 1 owner 0 dots "*) ;;
    *) fail "popup state: $p" ;;
  esac
done
[ "${first##* }" != "${second##* }" ] || fail "the dots did not move: $first / $second"
wait "$shooter" || fail "no screenshot"
# The popup on the screen: its face covers the top-left corner of the (black)
# root window, with the thin border at the very edge. (Wine puts the window's
# drawing on the X screen only when the thread waits for messages, which the
# wait loop never does, so the text is not looked for in the capture; the
# probes above read it from the control.)
for n in 1 2; do
  edge=$(convert "$work/popup$n.png" -format '%[pixel:p{0,20}]' info:)
  face=$(convert "$work/popup$n.png" -format '%[pixel:p{20,20}]' info:)
  [ "$face" != "black" ] && [ "$face" != "srgb(0,0,0)" ] || fail "no popup at the top left of capture $n"
  [ "$edge" != "$face" ] || fail "no border at the edge of the popup in capture $n ($edge)"
done

echo "== -s: update with restart"
rm -f "$log"
w "$work/chores.exe" --register-uninstall "\"$(winpath "$work/product/unins000.exe")\"" || fail "uninstall entry"
w "$work/led/witness.exe" --sleep 120000 & witness=$!
sleep 3   # let it come up before the session can end
start=$(date +%s)
# The forced restart ends the Wine session with every process in it, the
# updater and the uninstaller just started included; so the updater's exit
# code is not looked at here, and the uninstaller may be gone before it can
# log. Wine's process trace shows what the updater itself started.
WINEDEBUG=+process w "$tool/Zelvar_FW_Update_Tool.exe" -s 2>"$work/trace-s.txt" || true
got=$(normalised | grep -v '^probe' || true)
first4=$(echo "$got" | sed -n 1,4p)
[ "$first4" = "install.exe||$D|absent
218_Win.exe|/WA:fw_R39218.bin|$T|absent
218_Win.exe|/G|$T|absent
uninstall.exe||$D|absent" ] || fail "-s: commands differ: $got"
rest=$(echo "$got" | sed -n '5,$p')
[ -z "$rest" ] || [ "$rest" = "unins000.exe|/VERYSILENT /NORESTART|$T|absent" ] || fail "-s: after the commands: $rest"
uninstaller_at=$(grep -n 'CreateProcessInternalW app (null) cmdline L"\\"Z:.*\\\\product\\\\unins000.exe\\" /VERYSILENT /NORESTART"' \
                 "$work/trace-s.txt" | head -1 | cut -d: -f1)
restart_at=$(grep -n 'CreateProcessInternalW app L".*wineboot.exe" cmdline L".*wineboot.exe --kill"' "$work/trace-s.txt" \
             | head -1 | cut -d: -f1)
[ -n "$uninstaller_at" ] || fail "the uninstaller was not started with /VERYSILENT /NORESTART"
# ExitWindowsEx(EWX_REBOOT | EWX_FORCE) is Wine's "wineboot --kill": a forced
# end of the session without --shutdown, that is a restart.
[ -n "$restart_at" ] || fail "no restart request"
[ "$uninstaller_at" -lt "$restart_at" ] || fail "the restart was asked for before the uninstaller was started"
# And it took effect: a process that would have slept for two minutes is gone.
wrc=0; wait "$witness" || wrc=$?
took=$(( $(date +%s) - start ))
[ "$took" -lt 110 ] || fail "the session did not end after the restart request"
echo "session ended ${took}s after the start of -s (witness exit $wrc)"

echo "== switches that start nothing: the popup stays until a key closes it"
rm -f "$log"
w "$tool/Zelvar_FW_Update_Tool.exe" -Sx /S & app=$!
one=$(w "$work/chores.exe" --find-popup 20000 | tr -d '\r')
sleep 2
two=$(w "$work/chores.exe" --find-popup 1000 | tr -d '\r')
case "$one" in *"dots 5") ;; *) fail "popup without a switch: $one" ;; esac
[ "$one" = "$two" ] || fail "the popup changed without a timer: $one / $two"
w "$work/chores.exe" --press escape
rc=0; wait "$app" || rc=$?
[ "$rc" = 1 ] || fail "Escape gave exit code $rc"
[ ! -s "$log" ] || fail "something ran without a switch"

w "$tool/Zelvar_FW_Update_Tool.exe" & app=$!
w "$work/chores.exe" --press enter
rc=0; wait "$app" || rc=$?
[ "$rc" = 0 ] || fail "Enter gave exit code $rc"

echo "== no display: the dialog cannot be created"
rm -f "$log" "$tool/Version.txt"
rc=0; DISPLAY= w "$tool/Zelvar_FW_Update_Tool.exe" -V || rc=$?
[ "$rc" = 2 ] || fail "a dialog that could not be created gave exit code $rc"
[ ! -s "$log" ] && [ ! -e "$tool/Version.txt" ] || fail "something ran without the dialog"

echo "PASS"
