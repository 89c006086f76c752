# bash completion for boxfeed
_boxfeed() {
  local cur prev command i options
  cur="${COMP_WORDS[COMP_CWORD]}"
  prev="${COMP_WORDS[COMP_CWORD-1]}"
  command=""
  for ((i = 1; i < COMP_CWORD; i++)); do
    case "${COMP_WORDS[i]}" in
      upgrade|boot|ports|results|demo) command="${COMP_WORDS[i]}"; break ;;
    esac
  done
  case "$prev" in
    -p|--port)
      # The ports boxfeed lists (their names are the lines that are not
      # indented), and the COM names it takes.
      COMPREPLY=($(compgen -W "COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 $("${COMP_WORDS[0]}" ports 2>/dev/null | grep -v '^[[:space:]]')" -- "$cur"))
      return ;;
    -l|--log|--results) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --by) COMPREPLY=($(compgen -W "day image station port cause" -- "$cur")); return ;;
    --since|--station-name|--size|--chunk|--baud) return ;;
  esac
  # The program's -q and --json are taken after the command too.
  case "$command" in
    "") options="--quiet -q --json --version --help -h" ;;
    upgrade) options="--port -p --trace -t --log -l --results --require-whole-image --require-store --continuous --station-name --quiet -q --json --help -h" ;;
    boot) options="--port -p --log -l --quiet -q --json --help -h" ;;
    ports) options="--quiet -q --json --help -h" ;;
    results) options="--since --by --csv --quiet -q --json --help -h" ;;
    demo) options="--size --chunk --baud --trace -t --quiet -q --json --help -h" ;;
  esac
  if [[ "$cur" == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    return
  fi
  case "$command" in
    "") COMPREPLY=($(compgen -W "upgrade boot ports results demo" -- "$cur")) ;;
    upgrade) COMPREPLY=($(compgen -f -X '!*.sdl' -- "$cur") $(compgen -d -- "$cur")) ;;
    boot) COMPREPLY=($(compgen -f -- "$cur")) ;;
    results) COMPREPLY=($(compgen -f -X '!*.jsonl' -- "$cur") $(compgen -d -- "$cur")) ;;
  esac
}
complete -F _boxfeed boxfeed
