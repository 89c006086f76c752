#!/bin/sh
# The installer under Wine, silent, both ways:
# - for all users, into a folder of our choosing: both programs, the
#   README, the uninstaller, the Start-menu entries, the uninstall record
#   and the .sdl file type are in place, and the installed boxfeed runs;
#   installed again without a folder, it goes where the first went (no
#   second copy, one uninstall record);
# - for the current user with boxfeed on PATH, in the user's own programs
#   folder and registry;
#   then again over it through its pages, as a person upgrades it (the
#   pages test presses Next on each, reads its texts, takes its
#   screenshot, and lets the last page start the window);
# and each uninstall leaves nothing behind: files, folders, entries, keys,
# the file type and the PATH entry.
#   installer_test.sh SETUP.EXE VERSION PAGES_TEST.EXE
set -eu
setup=$1 version=$2 pages_test=$3
[ -f "$setup" ] || { echo "no installer at $setup: make windows-installer"; exit 1; }
fail() { echo "installer: $*"; exit 1; }
has_key() { wine reg query "$1" > /dev/null 2>&1; }
value_of() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\BoxFeeder'

# Checks what an install of one kind put in place; $1 is HKLM or HKCU,
# $2 the folder (Windows), $3 the Start-menu folder (Unix).
expect_installed() {
  root=$1 folder=$2 menu=$3
  dir=$(winepath -u "$folder")
  for file in boxfeeder.exe boxfeed.exe README.txt uninstall.exe; do
    [ -f "$dir/$file" ] || fail "$file was not installed in $folder"
  done
  for entry in "BoxFeeder.lnk" "BoxFeeder command line.lnk" "Uninstall BoxFeeder.lnk"; do
    [ -f "$menu/$entry" ] || fail "no Start-menu entry $entry"
  done
  tr -d '\000' < "$menu/BoxFeeder command line.lnk" | grep -aq "TITLE BoxFeeder console" ||
    fail "the console is not titled BoxFeeder console"
  [ "$(value_of "$root\\$uninstall_key" DisplayVersion)" = "$version" ] || fail "no uninstall record in $root"
  [ -n "$(value_of "$root\\$uninstall_key" Publisher)" ] || fail "no publisher in the uninstall record"
  [ "$(value_of "$root\\Software\\BoxFeeder" InstallDir)" = "$folder" ] || fail "the folder is not remembered"
  wine reg query "$root\\Software\\Classes\\.sdl" /ve 2>/dev/null | grep -q BoxFeeder.Image ||
    fail ".sdl files are not the window's"
  wine reg query "$root\\Software\\Classes\\BoxFeeder.Image\\shell\\open\\command" /ve 2>/dev/null |
    grep -q 'boxfeeder.exe" "%1"' || fail "the window does not open .sdl files"
  wine "$dir/boxfeed.exe" --version | grep -q "boxfeed $version" || fail "the installed boxfeed does not run"
}

# Uninstalls and checks that nothing is left. In place (_?= runs it to its
# end, but it cannot delete itself or its folder), or with "whole" as the
# Start menu runs it: from a copy the system starts and does not wait
# for, which takes the folder too; its end is awaited by the folder's.
expect_uninstalled() {
  root=$1 folder=$2 menu=$3 mode=$4 how=${5:-}
  dir=$(winepath -u "$folder")
  if [ "$how" = whole ]; then
    wine "$dir/uninstall.exe" /S "$mode"
    tries=0
    while [ -e "$dir" ]; do
      tries=$((tries + 1))
      [ $tries -lt 600 ] || fail "$folder was left behind"
      sleep 0.1
    done
  else
    wine "$dir/uninstall.exe" /S "$mode" "_?=$folder"
  fi
  for file in boxfeeder.exe boxfeed.exe README.txt; do
    [ ! -e "$dir/$file" ] || fail "$file was left behind"
  done
  [ ! -e "$menu" ] || fail "the Start-menu entries were left behind"
  for key in "$uninstall_key" 'Software\BoxFeeder' 'Software\Classes\.sdl' 'Software\Classes\BoxFeeder.Image'; do
    if has_key "$root\\$key"; then fail "$root\\$key was left behind"; fi
  done
  rm -rf "$dir"
}

# For all users, into a folder given with /D= (no spaces: the installer
# takes /D= as it stands, and Wine's command line would quote it).
target='C:\BoxFeederTest'
machine_menu=$(winepath -u 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\BoxFeeder')
rm -rf "$(winepath -u "$target")"
wine "$setup" /S /AllUsers "/D=$target"
expect_installed HKLM "$target" "$machine_menu"
printf "installed for all users in %s\n" "$target"

# Again, as an upgrade does: into the remembered folder, not the default.
default_dir=$(winepath -u 'C:\Program Files\BoxFeeder')
rm -rf "$default_dir"
wine "$setup" /S /AllUsers
[ ! -e "$default_dir" ] || fail "the second install went to the default folder, not the first's"
expect_installed HKLM "$target" "$machine_menu"
[ "$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' 2>/dev/null | grep -c 'BoxFeeder')" = 1 ] ||
  fail "more than one uninstall record"
echo "installed again over it, in the same folder"
expect_uninstalled HKLM "$target" "$machine_menu" /AllUsers
echo "uninstalled for all users"

# For the current user, with boxfeed on PATH.
local_app_data=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
user_folder="$local_app_data\\Programs\\BoxFeeder"
user_menu=$(winepath -u "$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs\\BoxFeeder")
path_before=$(value_of 'HKCU\Environment' Path)
programs=$(winepath -u "$local_app_data\\Programs")
[ -e "$programs" ] && programs_made=no || programs_made=yes
wine "$setup" /S /CurrentUser /PATH
expect_installed HKCU "$user_folder" "$user_menu"
if has_key "HKLM\\$uninstall_key"; then fail "a current-user install wrote the machine's uninstall record"; fi
value_of 'HKCU\Environment' Path | tr ';' '\n' | grep -qxF "$user_folder" || fail "boxfeed is not on the user's PATH"
wine cmd /c 'boxfeed --version' 2>/dev/null | grep -q "boxfeed $version" || fail "boxfeed does not run by name"
printf "installed for the current user in %s, on PATH\n" "$user_folder"
# Again over it, through the pages: the PATH box comes ticked.
wine "$pages_test" "$(winepath -w "$setup")" "$version"
expect_installed HKCU "$user_folder" "$user_menu"
echo "installed again over it through its pages"
expect_uninstalled HKCU "$user_folder" "$user_menu" /CurrentUser whole
[ "$(value_of 'HKCU\Environment' Path)" = "$path_before" ] || fail "the user's PATH was not given back"
[ $programs_made = no ] || [ ! -e "$programs" ] || fail "the programs folder the install made was left behind"
echo "uninstalled for the current user"
