#!/bin/bash
# The whole product under Wine, as a person would use it: in a fresh Wine
# prefix, install silently, put a few files on the clipboard, open a folder's
# background menu the way Explorer builds it, choose "Paste with Brellow",
# wait for the engine and show that the files arrived; then the same through
# Windows 11's top-level menu and the packaged command; a screenshot of the
# installed settings program; finally a silent uninstall.
# The prefix reports Windows 11 (build 22631), so that the installer takes
# its Windows 11 steps: stand-ins for certutil.exe and powershell.exe (Wine
# has no certificate store tool and no packages) record what they are asked,
# and the demo prints it. On 32-bit Windows the installer takes none.
# Usage: scripts/demo.sh [--win32] [--setup BrellowSetup.exe] [--menuhost menuhost.exe] [--out DIR]
#   default: 64-bit Windows (a WoW64 prefix) with build/x64/bin/menuhost.exe;
#   --win32: 32-bit Windows (a WINEARCH=win32 prefix) with build/x86/bin/menuhost.exe.
#   --setup defaults to dist/BrellowSetup.exe, --out to dist/.
# The installer is a 32-bit program. Where this machine cannot run 32-bit
# programs, the demo says so in one line and then, on 64-bit Windows, puts
# the x64 pieces in place by hand (the files, Path, regsvr32) so that the
# menu, the engine and the settings program still show, and prints the
# Windows 11 steps the installer would take; --win32 exits 77.
# Exit code 0 when every sample file arrived intact (and, after a real
# install, the uninstall left nothing behind).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
setup=$root/dist/BrellowSetup.exe
menuhost=
out=$root/dist
win32=
while [ $# -gt 0 ]; do
  case $1 in
    --win32) win32=1; shift ;;
    --setup) setup=$2; shift 2 ;;
    --menuhost) menuhost=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: $0 [--win32] [--setup FILE] [--menuhost FILE] [--out DIR]" >&2; exit 2 ;;
  esac
done
if [ -z "$menuhost" ]; then
  if [ -n "$win32" ]; then menuhost=$root/build/x86/bin/menuhost.exe; else menuhost=$root/build/x64/bin/menuhost.exe; fi
fi
for f in "$setup" "$menuhost" "$(dirname "$menuhost")/brell_stand_in.exe"; do
  [ -f "$f" ] || { echo "demo: $f is missing; build first" >&2; exit 2; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
. "$root/tests/wine/env.sh"

by_hand=
setup_status=0
if no32=$(brell_no_32bit_reason); then
  if [ -n "$win32" ]; then
    echo "demo: SKIPPED the 32-bit Windows demo: $no32"
    exit 77
  fi
  echo "demo: NOT RUNNING BrellowSetup.exe (a 32-bit program): $no32; the x64 pieces are put in place by hand instead"
  by_hand=1
fi

begin_wine_session demo
work=$BRELL_WORK
if [ -n "$win32" ]; then
  export WINEARCH=win32
  wine() { "$BRELL_WINE32" "$@"; }
else
  wine() { "$BRELL_WINE" "$@"; }
fi
step() { printf '\n== %s\n' "$*"; }

if [ -n "$win32" ]; then
  step "A fresh Wine prefix: 32-bit Windows"
else
  step "A fresh Wine prefix: 64-bit Windows"
fi
start_xvfb "$work"
wine wineboot -i >/dev/null 2>&1
wineserver -w >/dev/null 2>&1 || true  # the prefix's setup may go on after wineboot returns
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
drive_c=$WINEPREFIX/drive_c
installed="$drive_c/Program Files/Brellow"
bin=$(dirname "$menuhost")
package_name=$(sed -n 's/^Name=//p' "$root/package/identity.ini" | tr -d '\r')
active_setup="HKLM\\Software\\Microsoft\\Active Setup\\Installed Components\\$package_name"
mkdir -p "$drive_c/demo"
tool_log=$drive_c/demo/tools.log

# The stand-ins' log, one call a line: "<exit code><tab><command line>".
tool_log_lines() { if [ -f "$tool_log" ]; then iconv -f UTF-16LE -t UTF-8 "$tool_log"; fi; }
# Prints the Windows 11 steps the installer took from line $1 of the log on.
show_tool_calls() {
  local lines
  lines=$(tool_log_lines | tail -n +"$1" | sed 's/^\([0-9]*\)\t/  exit \1: /')
  if [ -n "$lines" ]; then echo "$lines"; else echo "  none"; fi
}

if [ -z "$by_hand" ]; then
  step "Windows 11 reported (build 22631); stand-ins for certutil.exe and powershell.exe record what they are asked"
  for value in CurrentBuildNumber CurrentBuild; do
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v "$value" /d 22631 /f >/dev/null 2>&1
  done
  # A client edition, as Windows records it (Wine records none).
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v InstallationType /d Client /f >/dev/null 2>&1
  wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v CurrentBuildNumber | grep CurrentBuildNumber
  mkdir -p "$drive_c/windows/system32/WindowsPowerShell/v1.0"
  cp "$bin/brell_stand_in.exe" "$drive_c/windows/system32/certutil.exe"
  cp "$bin/brell_stand_in.exe" "$drive_c/windows/system32/WindowsPowerShell/v1.0/powershell.exe"
  for tool in certutil.exe powershell.exe; do  # Wine would load its own programs of these names
    wine reg add 'HKCU\Software\Wine\DllOverrides' /v "$tool" /d native /f >/dev/null 2>&1
  done
  export BRELL_STAND_IN_LOG='C:\demo\tools.log'

  step "Silent install: BrellowSetup.exe /S"
  cp "$setup" "$work/BrellowSetup.exe"
  "$BRELL_WINE32" "$work/BrellowSetup.exe" /S || setup_status=$?
  echo "BrellowSetup.exe exit code $setup_status"
  step "The Windows 11 steps the installer took"
  show_tool_calls 1
  if wine reg query "$active_setup" >/dev/null 2>&1; then
    echo "Active Setup entry $package_name, for every other user at their next logon:"
    wine reg query "$active_setup" | grep -E 'Version|StubPath' | sed 's/^ */  /'
  fi
else
  step "By hand: the x64 engine, settings program and menu, Path, regsvr32, and package\\"
  mkdir -p "$installed/package"
  cp "$bin/brellow.exe" "$bin/Brellcfg.exe" "$bin/Brellmenu.dll" "$bin/Brelldrop.dll" "$installed/"
  cp "$bin/Brellcmd.dll" "$bin/brellow.exe" "$bin/../package/Brellow.msix" "$bin/../package/BrellowLogo.png" \
     "$installed/package/"
  wine reg add 'HKLM\Software\Halvorin\Brellow' /v Path /d 'C:\Program Files\Brellow' /f /reg:32 >/dev/null
  regsvr_status=0
  wine regsvr32 /s 'C:\Program Files\Brellow\Brellmenu.dll' || regsvr_status=$?
  echo "regsvr32 Brellmenu.dll exit code $regsvr_status"
  wine regsvr32 /s 'C:\Program Files\Brellow\Brelldrop.dll' || regsvr_status=$?
  echo "regsvr32 Brelldrop.dll exit code $regsvr_status"
  step "The Windows 11 steps the installer takes (64-bit Windows, build 22000 or later); not run here"
  thumbprint=$(sha1sum "$bin/../package/brellow-package.cer" | cut -c1-40 | tr a-f A-F)
  echo "  certutil -addstore TrustedPeople brellow-package.cer   (LocalMachine; thumbprint $thumbprint, recorded)"
  echo "  powershell: stage package\\Brellow.msix with package\\ as its external location (StagePackageByUriAsync),"
  echo "    the folder handed over as data in BRELL_PACKAGE_FOLDER, never spliced into the command"
  echo "  powershell: provision the package for every user of the machine (ProvisionPackageForAllUsersAsync);"
  echo "    each user gets the entry at their next sign-in"
  echo "  uninstall: the provisioning and every user's registration removed first, then certutil -delstore TrustedPeople $thumbprint"
fi
(cd "$installed" && find . -type f | sort | sed 's|^\./|  C:\\Program Files\\Brellow\\|; s|/|\\|g')
if [ -n "$win32" ]; then
  wine reg query 'HKLM\Software\Halvorin\Brellow' /v Path | grep Path
else
  wine reg query 'HKLM\Software\Wow6432Node\Halvorin\Brellow' /v Path | grep Path
fi

step "Sample files, put on the clipboard"
source_dir=$drive_c/demo/source
target_dir=$drive_c/demo/target
mkdir -p "$source_dir/photos/2026" "$target_dir"
printf 'Notes to paste.\r\n' > "$source_dir/notes.txt"
head -c 3000000 /dev/urandom > "$source_dir/archive.bin"
head -c 20000 /dev/urandom > "$source_dir/photos/beach.raw"
head -c 50000 /dev/urandom > "$source_dir/photos/2026/snow.raw"
(cd "$source_dir" && find . -type f | sort | sed 's|^\./|  |')

step "The background menu of C:\\demo\\target, built as Explorer does; invoke \"Paste with Brellow\""
cp "$menuhost" "$work/menuhost.exe"
# The engine writes what it did to this file instead of showing message boxes.
export BRELLOW_REPORT='C:\demo\brellow-report.txt'
status=0
menuhost_loader=$BRELL_WINE
[ -n "$win32" ] && menuhost_loader=$BRELL_WINE32
"$menuhost_loader" "$work/menuhost.exe" 'C:\demo\target' \
  --put-files 'C:\demo\source\notes.txt' 'C:\demo\source\archive.bin' 'C:\demo\source\photos' \
  --invoke "Paste with Brellow" --wait-engine || status=$?
unset BRELLOW_REPORT
echo "menuhost exit code $status"
if [ -f "$drive_c/demo/brellow-report.txt" ]; then
  echo "engine report:"
  sed 's/^/  /' "$drive_c/demo/brellow-report.txt"
fi

# Lists a target folder and counts the sample files that arrived intact.
show_arrivals() {
  local target=$1 f arrived=0
  (cd "$target" && find . -type f -printf '  %P  %s bytes\n' | sort)
  for f in notes.txt archive.bin photos/beach.raw photos/2026/snow.raw; do
    if cmp -s "$source_dir/$f" "$target/$f"; then
      arrived=$((arrived + 1))
    else
      echo "  MISSING OR DIFFERENT: $f"
    fi
  done
  echo "$arrived of 4 files arrived intact"
  [ "$arrived" -eq 4 ]
}

step "C:\\demo\\target afterwards"
arrived=0
show_arrivals "$target_dir" && arrived=4

step "Windows 11's top-level menu of C:\\demo\\target-modern (menuhost --modern); invoke \"Paste with Brellow\""
# Wine has no packages: the command's class is registered the way the
# package declares it (Brellcmd.dll, apartment-threaded), with the DLL the
# install put into package\ (on 32-bit Windows, which gets no package, this
# build's own). The package itself only Windows 11 can register.
clsid="{$(sed -n 's/^CommandClassId=//p' "$root/package/identity.ini" | tr -d '\r')}"
mkdir -p "$drive_c/demo/target-modern"
if [ -f "$installed/package/Brellcmd.dll" ]; then
  command_dll='C:\Program Files\Brellow\package\Brellcmd.dll'
else
  mkdir -p "$drive_c/demo/package"
  cp "$bin/Brellcmd.dll" "$drive_c/demo/package/"
  command_dll='C:\demo\package\Brellcmd.dll'
fi
wine reg add "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve /d "$command_dll" /f >/dev/null
wine reg add "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel /d Apartment /f >/dev/null
export BRELLOW_REPORT='C:\demo\brellow-report-modern.txt'
modern_status=0
"$menuhost_loader" "$work/menuhost.exe" 'C:\demo\target-modern' --modern \
  --put-files 'C:\demo\source\notes.txt' 'C:\demo\source\archive.bin' 'C:\demo\source\photos' \
  --invoke "Paste with Brellow" --wait-engine || modern_status=$?
unset BRELLOW_REPORT
echo "menuhost --modern exit code $modern_status"
wine reg delete "HKLM\\Software\\Classes\\CLSID\\$clsid" /f >/dev/null
modern_arrived=0
show_arrivals "$drive_c/demo/target-modern" && modern_arrived=4

step "A right-drag of two files onto C:\\demo\\dropped (menuhost --drop); invoke \"Move here with Brellow\""
# The shell's data object of the files, the right-drag handlers registered
# for folders, the engine handed the list through a pipe: the clipboard,
# which still holds the pasted files, is not touched.
drag_dir=$drive_c/demo/drag
dropped_dir=$drive_c/demo/dropped
mkdir -p "$drag_dir" "$dropped_dir" "$work/dragged"
printf 'A dragged file.\r\n' > "$drag_dir/letter.txt"
head -c 200000 /dev/urandom > "$drag_dir/scan.raw"
cp "$drag_dir/letter.txt" "$drag_dir/scan.raw" "$work/dragged/"
export BRELLOW_REPORT='C:\demo\brellow-report-drop.txt'
drop_status=0
"$menuhost_loader" "$work/menuhost.exe" --drop 'C:\demo\dropped' 'C:\demo\drag\letter.txt' 'C:\demo\drag\scan.raw' \
  --invoke "Move here with Brellow" --wait-engine || drop_status=$?
unset BRELLOW_REPORT
echo "menuhost --drop exit code $drop_status"
echo "C:\\demo\\dropped afterwards:"
(cd "$dropped_dir" && find . -type f -printf '  %P  %s bytes\n' | sort)
echo "C:\\demo\\drag afterwards: $(find "$drag_dir" -type f | wc -l) file(s)"
drop_moved=0
for f in letter.txt scan.raw; do
  if cmp -s "$work/dragged/$f" "$dropped_dir/$f" && [ ! -e "$drag_dir/$f" ]; then
    drop_moved=$((drop_moved + 1))
  else
    echo "  NOT MOVED: $f"
  fi
done
echo "$drop_moved of 2 dragged files moved"

step "Screenshot of the installed Brellcfg"
# The program's font, and Marlett for the caption buttons Wine draws.
install_wine_fonts tahoma.ttf tahomabd.ttf marlett.ttf
if [ -n "$by_hand" ]; then
  wine "$installed/Brellcfg.exe" >/dev/null 2>&1 &
else
  "$BRELL_WINE32" "$installed/Brellcfg.exe" >/dev/null 2>&1 &
fi
shot=$out/brellcfg-demo.png
wid=
if command -v xdotool >/dev/null; then
  for _ in $(seq 200); do
    wid=$(xdotool search --name '^Brellow V Settings$' 2>/dev/null | head -n1 || true)
    [ -n "$wid" ] && break
    sleep 0.1
  done
fi
sleep 2  # let it paint
if [ -n "$wid" ]; then
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot"
else
  import -window root "$shot"
fi
echo "wrote $shot"

uninstalled=1
if [ -z "$by_hand" ]; then
  step "Silent uninstall: uninstall.exe /S"
  # The settings program is closed first, as Windows asks a user to.
  wine taskkill /im Brellcfg.exe >/dev/null 2>&1 || true
  uninstall_status=0
  calls_before=$(tool_log_lines | wc -l)
  "$BRELL_WINE32" "$installed/uninstall.exe" /S || uninstall_status=$?
  echo "uninstall.exe exit code $uninstall_status"
  # It runs on from a copy of itself in the temporary folder.
  for _ in $(seq 600); do
    [ -e "$installed" ] || break
    sleep 0.1
  done
  if [ -e "$installed" ]; then
    echo "  C:\Program Files\Brellow is still there:"
    find "$installed" | sed 's/^/    /'
    uninstalled=0
  else
    echo "  C:\Program Files\Brellow is gone"
  fi
  if wine reg query 'HKCR\CLSID\{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}' >/dev/null 2>&1; then
    echo "  the menu's class is still registered"
    uninstalled=0
  else
    echo "  the menu's class is no longer registered"
  fi
  if wine reg query 'HKCR\Directory\shellex\DragDropHandlers\Brellow' >/dev/null 2>&1; then
    echo "  the right-drag menu is still registered"
    uninstalled=0
  else
    echo "  the right-drag menu is no longer registered"
  fi
  echo "  the Windows 11 steps it took:"
  show_tool_calls $((calls_before + 1)) | sed 's/^/  /'
  if wine reg query "$active_setup" >/dev/null 2>&1; then
    echo "  the Active Setup entry is still there"
    uninstalled=0
  fi
fi

[ "$setup_status" -eq 0 ] && [ "$status" -eq 0 ] && [ "$arrived" -eq 4 ] && [ "$modern_status" -eq 0 ] &&
  [ "$modern_arrived" -eq 4 ] && [ "$drop_status" -eq 0 ] && [ "$drop_moved" -eq 2 ] && [ "$uninstalled" -eq 1 ]
