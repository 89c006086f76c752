#!/usr/bin/env bash
# The bash completion offers, after each command, every option that the
# command's --help lists, and -q and --json; after -p, the ports that
# boxfeed ports lists.
#   completion_test.sh COMPLETION BOXFEED
set -u
source "$1"
boxfeed=$2
status=0
complete_words() {  # the words offered for the command line "$@", the last being completed
  COMP_WORDS=("$boxfeed" "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _boxfeed
  printf '%s\n' "${COMPREPLY[@]}"
}
for command in upgrade boot ports results demo; do
  "$boxfeed" "$command" --help > /dev/null 2>&1 || continue  # demo is in test builds only
  offered=$(complete_words "$command" -)
  listed=$("$boxfeed" "$command" --help | grep -oE '^  (-[a-z],)?--[a-z-]+' | tr ',' '\n' | tr -d ' ')
  for option in $listed -q --json; do
    grep -qx -- "$option" <<<"$offered" || { echo "$command: $option is not offered"; status=1; }
  done
done
ports=$("$boxfeed" ports | grep -v '^[[:space:]]')
offered=$(complete_words upgrade -p "")
for port in $ports COM1; do
  grep -qx -- "$port" <<<"$offered" || { echo "-p: $port is not offered"; status=1; }
done
[ $status = 0 ] && echo "completion: every command's options and $(wc -w <<<"$ports") ports offered"
exit $status
