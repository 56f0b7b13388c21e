#!/usr/bin/env bash
# The Windows programs' tests under Wine: builds them (scripts/windows-build.sh), starts a
# virtual X display and a Wine prefix of its own, runs the seam and template tests, then
# drives varden-demo.exe (English and Japanese) and varden.exe (no drive under Wine) through
# tests/wine/driver.exe and checks what the dialogs show. Then takes the Windows pictures
# (build-win64/tools/win32_pictures.exe) into docs/screenshots/win32-*.png. Ends with "N passed, M failed"; exits non-zero on a failure.
# Usage: scripts/wine-tests.sh [--no-build]
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build-win64
shots=$root/docs/screenshots

if [ "${1:-}" != "--no-build" ]; then
  scripts/windows-build.sh all || { echo "0 passed, 1 failed"; exit 1; }
fi

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }

# --- The Japanese locale, so that Wine answers GetOEMCP with 932 ---
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  if [ "$(id -u)" -eq 0 ]; then
    localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 2>/dev/null || true
  fi
fi
japanese=1
locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' || japanese=0

# --- A virtual display and a fresh Wine prefix, removed on the way out ---
work=$(mktemp -d)
prefix=$(mktemp -d)
xvfb_pid=
cleanup() {
  WINEPREFIX=$prefix wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work" "$prefix"
}
trap cleanup EXIT

source scripts/wine-session.sh
start_wine_session 90 140
# No window manager: Wine draws the windows' frames itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
cp -f /usr/share/wine/fonts/{tahoma.ttf,tahomabd.ttf,marlett.ttf} "$prefix/drive_c/windows/Fonts/" 2>/dev/null
# The Japanese system faces are not installed; the IPA Gothic faces stand in for them, so that
# Japanese menus, message boxes and dialogs show their characters.
for face in "MS UI Gothic" "MS PGothic" "ＭＳ Ｐゴシック"; do
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d IPAPGothic /f >/dev/null 2>&1
done
for face in "MS Gothic" "ＭＳ ゴシック"; do
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d IPAGothic /f >/dev/null 2>&1
done
# The programs run from a folder of their own, without help files beside them.
programs=$prefix/drive_c/varden
mkdir -p "$programs"
cp "$build/bin/varden.exe" "$build/bin/varden-demo.exe" "$programs/"
mkdir -p "$shots"

forget_demo_state() {
  find "$prefix/drive_c/users" -type d -path '*AppData/Local/Varden' -prune -exec rm -rf {} + \
    2>/dev/null
}

# --- Test programs that check themselves: "ok ..." and "FAIL ..." lines ---
run_self_checking() {
  local name=$1 language=$2 out=$work/$1-$2.txt
  (cd "$work" && LANG=$language wine "$build/tests/wine/$name.exe" >"$out" 2>/dev/null)
  local code=$?
  local oks fails
  oks=$(grep -c '^ok ' "$out")
  fails=$(grep -c '^FAIL ' "$out")
  passed=$((passed + oks))
  failed=$((failed + fails))
  grep '^FAIL ' "$out" | sed "s/^/$name ($language): /"
  if [ "$code" -ne 0 ] && [ "$fails" -eq 0 ]; then fail "$name ($language) ended with $code"; fi
  if [ "$oks" -eq 0 ]; then fail "$name ($language) checked nothing"; fi
}

# --- The dialog driver ---
run_driver() {
  local out=$1 language=$2 program=$3
  shift 3
  # A bare program name is one of the copies in C:\varden.
  [[ $program == *\\* ]] || program="C:\\varden\\$program"
  (cd "$work" && LANG=$language wine "$build/tests/wine/driver.exe" "$program" "$@" \
    2>/dev/null) >"$out"
  grep '^error ' "$out" | sed "s|^|$(basename "$out"): |" | while IFS= read -r e; do echo "FAIL: $e"; done
  if grep -q '^error ' "$out"; then failed=$((failed + 1)); fi
}

# The lines of the n-th output of `step` (1 = the first).
section() {
  awk -v n="$2" -v s="step $3" '$0 == s { c++; p = (c == n); next } /^step / { p = 0 } p' "$1"
}

# expect FILE N STEP LINE: the n-th output of STEP holds exactly LINE.
expect() {
  if section "$1" "$2" "$3" | grep -Fxq -- "$4"; then pass; else
    fail "$(basename "$1"): '$3' #$2 lacks the line: $4"
  fi
}
# expect_part FILE N STEP TEXT: the n-th output of STEP has a line containing TEXT.
expect_part() {
  if section "$1" "$2" "$3" | grep -Fq -- "$4"; then pass; else
    fail "$(basename "$1"): '$3' #$2 lacks: $4"
  fi
}
# expect_no FILE N STEP TEXT: no line of the n-th output of STEP contains TEXT.
expect_no() {
  if section "$1" "$2" "$3" | grep -Fq -- "$4"; then
    fail "$(basename "$1"): '$3' #$2 should not show: $4"
  else pass; fi
}

# --- The device seam and the templates ---
run_self_checking win32_device_test C.UTF-8
run_self_checking dialog_template_test C.UTF-8
[ "$japanese" = 1 ] && run_self_checking dialog_template_test ja_JP.UTF-8

# --- varden-demo.exe in English: start-up, report, change, boxes, system commands ---
forget_demo_state
en=$work/demo-en.txt
run_driver "$en" C.UTF-8 varden-demo.exe \
  dump select:1 check:1010 click:1019 dump \
  sys:16 box press:ok sys:31 box press:ok sys:32 box press:ok sys:33 key:f1 wait-box box \
  press:ok select:2 check:1002 click:1019 click:1019 box press:cancel \
  click:1019 box press:ok dump select:3 click:1019 dump \
  click:1021 dump key:enter dump focus:1005 key:enter wait-exit

expect "$en" 1 dump "dialog caption=Varden for Windows2000"
expect "$en" 1 dump "drives count=4 selected=0"
expect "$en" 1 dump "drive 0 E: MERIDAX DVD-ROM MX-1608 "
expect "$en" 1 dump "drive 1 F: Meridax DVD-ROM MX-1204 "
expect "$en" 1 dump "drive 3 H: MERIDAX DVD-ROM MX-0824 "
expect_no "$en" 1 dump "drive 4 "
expect "$en" 1 dump "control 1001 enabled=1 checked=0 text=DVD-ROM Varden for Windows2000"
expect "$en" 1 dump "control 1003 enabled=1 checked=0 text=DVD-ROM Regional Code"
expect "$en" 1 dump "control 1008 enabled=1 checked=0 text=Region 2 (West Europe, Japan, South Africa)"
expect "$en" 1 dump "control 1021 enabled=1 checked=0 text=Get Region"
expect "$en" 1 dump "control 1022 enabled=1 checked=0 text=Regional code can be changed 5time(s)"
expect "$en" 1 dump "control 1017 enabled=1 checked=1 text=Region 6"
expect "$en" 1 dump 'log Drive has no region.\r\nNo copyright protrction disc.\r\nAll region is allowed.\r\n'
# Drive F: region 2 with a disc for regions 2 and 4 (the only regions it offers), changed to 4.
expect "$en" 1 click:1019 "idle"
expect "$en" 2 dump "control 1011 enabled=0 checked=0 text=Region 5 (Russian, East Europe, Africa)"
expect "$en" 2 dump "control 1010 enabled=1 checked=1 text=Region 4 (Australlia, South America)"
expect "$en" 2 dump "control 1022 enabled=1 checked=0 text=Regional code can be changed 3time(s)"
expect_part "$en" 2 dump "All region is allowed.\\r\\nDrive's region is 2.\\r\\nThis disc is allowed region 2 4\\r\\nSuccess to set regional code.\\r\\nDrive's region is 4.\\r\\nThis disc is allowed region 2 4\\r\\n"
# A mouse click leaves the focus on the button as its default: Enter presses it again instead
# of ending the dialog.
expect "$en" 2 dump "focus 1019 default=1"
expect "$en" 5 dump "focus 1021 default=1"
expect "$en" 6 dump "dialog caption=Varden for Windows2000"
expect "$en" 6 dump "focus 1021 default=1"
log5=$(section "$en" 5 dump | grep '^log ')
log6=$(section "$en" 6 dump | grep '^log ')
if [ "${log6#"$log5"}" != "$log6" ] && [ ${#log6} -gt ${#log5} ]; then pass; else
  fail "demo-en.txt: Enter after a click on Get Region did not report again"
fi
# The system commands: 10h and 1Fh the About box, 20h and F1 the help topic, 21h nothing.
expect_part "$en" 1 box "box caption=About Varden texts=Varden Version 1.08|"
expect_part "$en" 2 box "box caption=About Varden texts=Varden Version 1.08|"
expect "$en" 3 box "box caption=Error texts=Help file is not found. buttons=OK icon=0"
expect "$en" 1 sys:33 "idle"
expect "$en" 4 box "box caption=Error texts=Help file is not found. buttons=OK icon=0"
# Drive G: no disc. The first change needs no disc (no region, all changes left); the next
# asks for one, is cancelled, then answered with OK (the demo puts a disc in).
expect "$en" 5 box 'box caption=Attention texts=Disc is not present !\r\nPlease insert approproiate disc buttons=OK|Cancel icon=1'
expect "$en" 6 box 'box caption=Attention texts=Disc is not present !\r\nPlease insert approproiate disc buttons=OK|Cancel icon=1'
expect_part "$en" 3 dump 'Drive has no region.\r\nGet disc region is failed.\r\nSuccess to set regional code.\r\nDrive'"'"'s region is 1.\r\nGet disc region is failed.\r\nOperation is canceled.\r\nDrive'"'"'s region is 1.\r\nGet disc region is failed.\r\nSuccess to set regional code.\r\n'
expect "$en" 3 dump "drives count=4 selected=2"
# Drive H: permanent.
expect_part "$en" 4 dump 'Drive regional code is already permanent state.\r\n'
# Enter with the focus in the drive list ends the program.
expect "$en" 1 wait-exit "ended exit=0"

# The state lasts from one run to the next; each way out ends the program.
again=$work/demo-en-again.txt
run_driver "$again" C.UTF-8 varden-demo.exe select:1 dump focus:1006 key:enter wait-exit
expect_part "$again" 1 dump "Drive's region is 4.\\r\\nThis disc is allowed region 2 4\\r\\n"
expect "$again" 1 dump "control 1022 enabled=1 checked=0 text=Regional code can be changed 3time(s)"
expect "$again" 1 wait-exit "ended exit=0"
for way in key:escape click:1020 sys:61536; do
  out=$work/demo-end-${way//:/-}.txt
  run_driver "$out" C.UTF-8 varden-demo.exe "$way" wait-exit
  expect "$out" 1 wait-exit "ended exit=0"
done

# The keys of the Qt test's table (tests/qt/main_dialog_qt_test.cpp, keyboardReachesEveryControl):
# after each, the control with the focus. Wine's dialog manager moves the arrow keys' focus onto
# any visible, enabled control of the group, statics included: Down from Get Region stops on the
# title, where the Windows one passes the title and the group box by (and the Qt program does).
# So the first step and the checked buttons are not compared here; the rest of the path is.
keys=$work/demo-keys.txt
keyseq=(down left up tab tab alt-g right)
focus=(1002 1021 1020 1021 1005 1005 1005)
steps=(focus:1021)
for k in "${keyseq[@]}"; do steps+=("key:$k" dump); done
forget_demo_state
run_driver "$keys" C.UTF-8 varden-demo.exe "${steps[@]}"
for i in 1 2 3 4 5 6; do expect_part "$keys" $((i + 1)) dump "focus ${focus[$i]} "; done
expect_part "$keys" 7 dump "control 1005 enabled=1 checked=0 text=E: MERIDAX DVD-ROM MX-1608 "

# --- varden-demo.exe in Japanese ---
if [ "$japanese" = 1 ]; then
  forget_demo_state
  ja=$work/demo-ja.txt
  run_driver "$ja" ja_JP.UTF-8 varden-demo.exe \
    dump sys:16 box press:ok sys:32 box press:ok select:2 check:1002 click:1019 click:1019 box \
    press:cancel dump key:escape wait-exit
  expect "$ja" 1 dump "dialog caption=Varden for Windows2000"
  expect "$ja" 1 dump "control 1001 enabled=1 checked=0 text=DVD-ROM Varden for Windows2000"
  expect "$ja" 1 dump "control 1003 enabled=1 checked=0 text=DVD-ROMドライブのリージョンコード"
  expect "$ja" 1 dump "control 1002 enabled=1 checked=0 text=アメリカ合衆国、カナダ（北米）"
  expect "$ja" 1 dump "control 1012 enabled=1 checked=0 text=中国"
  expect "$ja" 1 dump "control 1018 enabled=1 checked=0 text=このDVDディスクで視聴の許可されている地域"
  expect "$ja" 1 dump "control 1007 enabled=1 checked=1 text=地域１"
  expect "$ja" 1 dump "control 1019 enabled=1 checked=0 text=リージョン設定"
  expect "$ja" 1 dump "control 1021 enabled=1 checked=0 text=リージョン取得"
  expect "$ja" 1 dump "control 1020 enabled=1 checked=0 text=終了"
  expect "$ja" 1 dump "control 1022 enabled=1 checked=0 text=リージョンコードはあと5回変更可能です。"
  expect "$ja" 1 dump 'log ドライブのリージョンコードは未設定です.\r\nこのディスクにはコピープロテクトがありません.\r\n全ての地域での視聴が許可されています.\r\n'
  expect_part "$ja" 1 box "box caption=About Varden texts=Varden Version 1.08|"
  expect "$ja" 2 box "box caption=Error texts=ヘルプファイルが見つかりません。 buttons=OK icon=0"
  expect_part "$ja" 3 box 'box caption=注意 texts=ディスクがありません\r\n適切なディスクを挿入してください。 buttons='
  expect_part "$ja" 2 dump '処理は中断されました。\r\n'
  expect "$ja" 1 wait-exit "ended exit=0"
else
  fail "no ja_JP.UTF-8 locale: the Japanese tests cannot run"
fi

# --- The help topic, when the compiled help files stand beside the program ---
if [ -f "$build/bin/kelvane.chm" ] && [ -f "$build/bin/kelvanej.chm" ]; then
  helped=$prefix/drive_c/varden-help
  mkdir -p "$helped"
  cp "$build/bin/varden-demo.exe" "$build/bin/kelvane.chm" "$build/bin/kelvanej.chm" "$helped/"
  for language in C.UTF-8 ja_JP.UTF-8; do
    [ "$language" = ja_JP.UTF-8 ] && [ "$japanese" = 0 ] && continue
    out=$work/help-$language.txt
    # The help window opens; no error box does.
    run_driver "$out" "$language" 'C:\varden-help\varden-demo.exe' sys:32 dump
    expect "$out" 1 sys:32 "idle"
    expect_no "$out" 1 sys:32 "box-open"
  done
else
  echo "note: no compiled help files in $build/bin; the help window test is skipped"
fi

# --- varden.exe: Wine has no drive of the maker, so the list stays empty ---
real=$work/real-en.txt
run_driver "$real" C.UTF-8 varden.exe dump click:1021 dump click:1019 dump sys:32 box press:ok \
  click:1020 wait-exit
expect "$real" 1 dump "drives count=0 selected=-1"
expect "$real" 1 dump "log "
expect "$real" 1 dump "control 1022 enabled=1 checked=0 text=Regional code can can be changed 5 times"
expect "$real" 1 dump "control 1002 enabled=0 checked=0 text=Region 1 (USA, Canada)"
expect "$real" 1 dump "control 1017 enabled=0 checked=0 text=Region 6"
expect "$real" 2 dump "log Don't select the valid item."
expect "$real" 3 dump "log Don't select the valid item.Don't select the valid item.Don't select the valid item."
expect "$real" 1 box "box caption=Error texts=Help file is not found. buttons=OK icon=0"
expect "$real" 1 wait-exit "ended exit=0"
if [ "$japanese" = 1 ]; then
  realja=$work/real-ja.txt
  run_driver "$realja" ja_JP.UTF-8 varden.exe dump click:1021 dump key:escape wait-exit
  expect "$realja" 1 dump "drives count=0 selected=-1"
  expect "$realja" 1 dump "control 1003 enabled=1 checked=0 text=DVD-ROMドライブのリージョンコード"
  expect "$realja" 2 dump "log 有効な項目が選択されていません。"
  expect "$realja" 1 wait-exit "ended exit=0"
fi

# --- The documentation's pictures of the demo on its own drives (no checks) ---
take_pictures() {
  local language=$1 name=$2 line shot
  forget_demo_state
  (cd "$work" && LANG=$language wine "$build/tools/win32_pictures.exe" \
    'C:\varden\varden-demo.exe' "$name" 2>/dev/null) | while IFS= read -r line; do
    case $line in
      "snap "*)
        shot=${line#snap }
        # Without time stamps, so that an unchanged picture leaves its file as it was.
        import -window root "$work/shot.png" 2>/dev/null &&
          convert "$work/shot.png" -trim +repage -define png:exclude-chunks=date,time \
            "$shots/win32-$shot.png" 2>/dev/null
        touch "$work/snap-$shot.done"
        ;;
      error*) echo "note: the pictures: $line" ;;
    esac
  done
}
if [ -x "$build/tools/win32_pictures.exe" ]; then
  take_pictures C.UTF-8 en
  [ "$japanese" = 1 ] && take_pictures ja_JP.UTF-8 ja
fi

if [ -n "${VARDEN_WINE_KEEP:-}" ]; then cp "$work"/*.txt "$VARDEN_WINE_KEEP"/ 2>/dev/null; fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
