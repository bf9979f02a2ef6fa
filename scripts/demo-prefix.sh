#!/bin/sh
# Creates a Wine prefix for trying the program and seeds it with sample
# start-up entries. Usage: demo-prefix.sh PREFIX [DEMO_DIR]
# DEMO_DIR holds what the build's `demo` target makes (the signed sample
# program and the shortcut writer); by default the build tree's, beside PREFIX.
set -eu
prefix=$1
demo=${2:-$(dirname "$prefix")/demo}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
wine_use win64 "$prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"

if [ ! -f "$prefix/.complete" ]; then
    echo "demo: creating the Wine prefix $prefix" >&2
    mkdir -p "$prefix"
    "$WINE" wineboot.exe -i </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$prefix/.complete"
fi

# Wine's own fonts (Marlett draws the caption buttons, Tahoma the dialogs). A
# 64-bit prefix made where 32-bit programs cannot run does not get them at
# creation, so they are copied in when missing.
for font in /usr/share/wine/fonts/*.ttf; do
    if [ -f "$font" ] && [ ! -e "$prefix/drive_c/windows/Fonts/${font##*/}" ]; then
        cp "$font" "$prefix/drive_c/windows/Fonts/"
    fi
done

# Windows 10, as the program's manifest allows: Wine says Windows 7 by
# default, which has no start-up switch, and Disable would stay greyed.
"$WINE" reg.exe add 'HKCU\Software\Wine' /v Version /d win10 /f </dev/null >/dev/null 2>&1

# The 64-bit loader's regedit writes the view the 64-bit program reads.
"$WINE" regedit.exe /s "$("$WINE" winepath.exe -w "$here/demo-entries.reg" 2>/dev/null)" \
    </dev/null >/dev/null 2>&1

# --- Extras menu: files for the line editor ---
# Win.ini and System.ini are Wine's own, in C:\windows. Boot.ini goes into the
# boot directory that "BootDir" of the Setup key names (C:\ in a Wine prefix),
# only when it is missing, so edits made in the demo stay. Autoexec.bat,
# Config.sys, Autoexec.nt and Config.nt are left out: their commands show
# "Not Available!".
bootdir=$("$WINE" reg.exe query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup" \
    /v BootDir </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^ *BootDir *REG_[A-Z_]*SZ *//Ip')
bootini=$("$WINE" winepath.exe -u "${bootdir%\\}\\Boot.ini" 2>/dev/null || true)
if [ -n "$bootdir" ] && [ -n "$bootini" ] && [ ! -e "$bootini" ]; then
    sed 's/$/\r/' >"$bootini" <<'EOF'
[boot loader]
timeout=30
default=multi(0)disk(0)rdisk(0)partition(1)\WINDOWS
[operating systems]
multi(0)disk(0)rdisk(0)partition(1)\WINDOWS="Microsoft Windows XP Professional" /noexecute=optin /fastdetect
EOF
fi
# --- end of the Extras menu files ---

# A scheduled task that starts at logon, as Windows stores it: UTF-16LE with
# its mark in system32\tasks. Wine's Task Scheduler keeps no triggers or
# actions, so the program lists it from this file (and offers no action on it).
tasks="$prefix/drive_c/windows/system32/tasks/Contoso"
mkdir -p "$tasks"
{
    printf '\377\376'
    sed 's/$/\r/' <<'EOF' | iconv -f UTF-8 -t UTF-16LE
<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo>
    <Author>Contoso</Author>
    <URI>\Contoso\ContosoUpdate</URI>
  </RegistrationInfo>
  <Triggers>
    <LogonTrigger>
      <Enabled>true</Enabled>
      <Delay>PT30S</Delay>
    </LogonTrigger>
  </Triggers>
  <Principals>
    <Principal id="Author">
      <GroupId>S-1-5-32-545</GroupId>
      <RunLevel>LeastPrivilege</RunLevel>
    </Principal>
  </Principals>
  <Settings>
    <Enabled>true</Enabled>
    <Hidden>false</Hidden>
  </Settings>
  <Actions Context="Author">
    <Exec>
      <Command>C:\Program Files\Contoso\updater.exe</Command>
      <Arguments>/logon</Arguments>
    </Exec>
  </Actions>
</Task>
EOF
} >"$tasks/ContosoUpdate"

# Sample start-up files, in the folders that the prefix's own Shell Folders
# values name (the 64-bit view, as above). A file removed in the demo comes
# back at the next run; the program never opens them, so any bytes will do.
shell_folder() {  # ROOT VALUE_NAME -> the folder's Windows path
    "$WINE" reg.exe query "$1\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders" \
        /v "$2" </dev/null 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]*SZ *//Ip"
}
common=$(shell_folder HKLM "Common StartUp")
user=$(shell_folder HKCU "StartUp")
if [ -z "$common" ] || [ -z "$user" ]; then
    echo "demo: no start-up folders in $prefix's Shell Folders; no sample files" >&2
    exit 0
fi

# Windows path and content of each file.
set -- \
    "$common\\desktop.ini" "[.ShellClassInfo]"
while [ $# -ge 2 ]; do
    unix=$("$WINE" winepath.exe -u "$1" 2>/dev/null)
    if [ -n "$unix" ] && [ ! -f "$unix" ]; then
        mkdir -p "$(dirname "$unix")"
        printf '%s\r\n' "$2" >"$unix"
    fi
    shift 2
done
# desktop.ini is hidden and a system file, as Windows keeps it. Wine's attrib
# applies only the last of several flags, so one call each.
for flag in +h +s; do
    "$WINE" attrib.exe "$flag" "$common\\desktop.ini" </dev/null >/dev/null 2>&1 || true
done

# The packaged app of demo-entries.reg: its manifest declares the start-up
# task; its program is the signed sample below once the demo target is built.
package="$prefix/drive_c/Program Files/WindowsApps/Contoso.Tray_1.0.0.0_x64__abcdefghjkmnp"
mkdir -p "$package"
sed 's/$/\r/' >"$package/AppxManifest.xml" <<'EOF'
<?xml version="1.0" encoding="utf-8"?>
<Package xmlns="http://schemas.microsoft.com/appx/manifest/foundation/windows10"
         xmlns:desktop="http://schemas.microsoft.com/appx/manifest/desktop/windows10">
  <Identity Name="Contoso.Tray" Version="1.0.0.0" ProcessorArchitecture="x64"
            Publisher="CN=Contoso"/>
  <Applications>
    <Application Id="Tray" Executable="ContosoTray.exe" EntryPoint="Windows.FullTrustApplication">
      <Extensions>
        <desktop:Extension Category="windows.startupTask" Executable="ContosoTray.exe"
                           EntryPoint="Windows.FullTrustApplication">
          <desktop:StartupTask TaskId="TrayStartup" Enabled="true" DisplayName="Contoso Tray"/>
        </desktop:Extension>
      </Extensions>
    </Application>
  </Applications>
</Package>
EOF
[ -f "$package/ContosoTray.exe" ] || printf 'MZ sample program\r\n' >"$package/ContosoTray.exe"

# Real programs with a version resource, so that the Publisher and Image
# Path columns have something to show: a signed one behind the "Contoso
# Updater" Run value and the Contoso Sync shortcut, an unsigned one as a
# start-up file. Copied afresh, as a build may have signed them anew.
for made in contoso-sync.exe fabrikam_monitor.exe make_shortcuts.exe; do
    if [ ! -f "$demo/$made" ]; then
        echo "demo: $demo lacks $made (build the 'demo' target); no sample programs or shortcuts" >&2
        exit 0
    fi
done
contoso=$("$WINE" winepath.exe -u 'C:\Program Files\Contoso' 2>/dev/null)
mkdir -p "$contoso"
cp "$demo/contoso-sync.exe" "$contoso/updater.exe"
cp "$demo/contoso-sync.exe" "$contoso/sync.exe"
cp "$demo/fabrikam_monitor.exe" "$("$WINE" winepath.exe -u "$common\\Fabrikam Monitor.exe" 2>/dev/null)"
cp "$demo/contoso-sync.exe" "$package/ContosoTray.exe"

# Real shortcuts, written by the shell's own link object in the prefix: one
# to the signed program, one to a program of Wine's with an argument.
northwind=$("$WINE" winepath.exe -u "$user\\Northwind" 2>/dev/null)
mkdir -p "$northwind"
"$WINE" "$demo/make_shortcuts.exe" \
    "$common\\Contoso Sync.lnk" 'C:\Program Files\Contoso\sync.exe' '/tray' \
    "$user\\Northwind\\Reminders.lnk" 'C:\windows\system32\notepad.exe' 'reminders.txt' \
    </dev/null >/dev/null || echo "demo: the shortcuts could not all be written" >&2
