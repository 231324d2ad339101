# bash completion for kestriv                              -*- shell-script -*-
#
# Words that begin with "/" are options (/n*.txt, /s10, /vs); the long
# options stand before "--", and every word after "--" is a path, also one
# that begins with "/". Other words are search paths: directories.

_kestriv() {
  local cur="${COMP_WORDS[COMP_CWORD]}" i
  COMPREPLY=()
  for ((i = 1; i < COMP_CWORD; i++)); do
    if [[ ${COMP_WORDS[i]} == -- ]]; then
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      return
    fi
  done
  # --threads and --max-depth take a number, --exclude a mask.
  case "${COMP_WORDS[COMP_CWORD-1]}" in
    --threads | --max-depth | --exclude) return ;;
  esac
  case "$cur" in
    -*)
      mapfile -t COMPREPLY < <(compgen -W \
        '--help --version --print0 --bare --exclude --max-depth --threads --utf8 --' \
        -- "$cur")
      ;;
    /*)
      mapfile -t COMPREPLY < <(compgen -W '/n /a /s /f /d /vs /r' -- "$cur")
      # /n /a /s /f /d take their value in the same word.
      [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == /[nasfd] ]] &&
        compopt -o nospace 2>/dev/null
      ;;
    *)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      ;;
  esac
}
complete -F _kestriv kestriv
