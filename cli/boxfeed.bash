# bash completion for boxfeed
_boxfeed() {
  local cur prev command i
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
      COMPREPLY=($(compgen -W "COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 $(ls /dev/serial/by-id/* /dev/ttyUSB* /dev/ttyACM* 2>/dev/null)" -- "$cur"))
      return ;;
    -l|--log|--results) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --by) COMPREPLY=($(compgen -W "day image station port cause" -- "$cur")); return ;;
    --since|--station-name) return ;;
  esac
  case "$command" in
    "") COMPREPLY=($(compgen -W "upgrade boot ports results demo --quiet --json --version --help" -- "$cur")) ;;
    upgrade)
      if [[ "$cur" == -* ]]; then
        COMPREPLY=($(compgen -W "--port --trace --log --results --require-whole-image --require-store --continuous --station-name --help" -- "$cur"))
      else
        COMPREPLY=($(compgen -f -X '!*.sdl' -- "$cur") $(compgen -d -- "$cur"))
      fi ;;
    boot)
      if [[ "$cur" == -* ]]; then
        COMPREPLY=($(compgen -W "--port --help" -- "$cur"))
      else
        COMPREPLY=($(compgen -f -- "$cur"))
      fi ;;
    results)
      if [[ "$cur" == -* ]]; then
        COMPREPLY=($(compgen -W "--since --by --csv --json --help" -- "$cur"))
      else
        COMPREPLY=($(compgen -f -X '!*.jsonl' -- "$cur") $(compgen -d -- "$cur"))
      fi ;;
    demo) COMPREPLY=($(compgen -W "--size --chunk --baud --trace --help" -- "$cur")) ;;
  esac
}
complete -F _boxfeed boxfeed
