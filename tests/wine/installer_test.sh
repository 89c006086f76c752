#!/bin/sh
# The installer under Wine: a silent install puts both programs, the
# README, the uninstaller, a Start-menu entry and the uninstall record in
# place, and the installed boxfeed runs; a silent uninstall takes them
# away again.
#   installer_test.sh SETUP.EXE VERSION
set -eu
setup=$1 version=$2
[ -f "$setup" ] || { echo "no installer at $setup: make windows-installer"; exit 1; }
# No spaces: the installer takes /D= as it stands, and Wine's command line
# would quote it.
target='C:\BoxFeederTest'
dir=$(winepath -u "$target")
menu=$(winepath -u 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\BoxFeeder')
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\BoxFeeder'
fail() { echo "installer: $*"; exit 1; }
rm -rf "$dir"

wine "$setup" /S "/D=$target"
for file in boxfeeder.exe boxfeed.exe README.txt uninstall.exe; do
  [ -f "$dir/$file" ] || fail "$file was not installed"
done
[ -f "$menu/BoxFeeder.lnk" ] || fail "no Start-menu entry"
wine reg query "$key" /v DisplayVersion 2>/dev/null | grep -q "$version" || fail "no uninstall record"
wine "$dir/boxfeed.exe" --version | grep -q "boxfeed $version" || fail "the installed boxfeed does not run"
echo "installed in $target"

# _?= runs the uninstaller in place, to its end, rather than from a copy
# that the system starts and does not wait for; in place, it cannot
# delete itself.
wine "$dir/uninstall.exe" /S "_?=$target"
for file in boxfeeder.exe boxfeed.exe README.txt; do
  [ ! -e "$dir/$file" ] || fail "$file was left behind"
done
[ ! -e "$menu" ] || fail "the Start-menu entry was left behind"
if wine reg query "$key" > /dev/null 2>&1; then fail "the uninstall record was left behind"; fi
rm -rf "$dir"
echo "uninstalled"
