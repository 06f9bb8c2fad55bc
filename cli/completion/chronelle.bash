# Bash completion for chronelle: commands, subcommands, options and node paths. The words
# come from the program itself (`chronelle __complete …`), so they follow its help texts and
# the store named on the command line (--store) or by $CHRONELLE_HOME.

_chronelle_words() {
  local IFS=$'\n'
  COMPREPLY=()
  local word
  for word in $("${_chronelle_program}" "${_chronelle_globals[@]}" __complete "$@" 2>/dev/null); do
    [[ $word == "$_chronelle_cur"* ]] && COMPREPLY+=("$word")
  done
}

_chronelle() {
  local cur="${COMP_WORDS[COMP_CWORD]}" prev="${COMP_WORDS[COMP_CWORD - 1]}"
  local command="" sub="" i
  _chronelle_program="${COMP_WORDS[0]}"
  _chronelle_globals=()
  _chronelle_cur="$cur"
  for ((i = 1; i < COMP_CWORD; i++)); do
    case "${COMP_WORDS[i]}" in
      --store | --tz | --now | --week-start)
        _chronelle_globals+=("${COMP_WORDS[i]}" "${COMP_WORDS[i + 1]}")
        ((i++))
        ;;
      -*) ;;
      *)
        if [[ -z $command ]]; then
          command="${COMP_WORDS[i]}"
        elif [[ -z $sub ]]; then
          sub="${COMP_WORDS[i]}"
        fi
        ;;
    esac
  done

  case "$prev" in
    --store | -o | --output)
      COMPREPLY=($(compgen -f -- "$cur"))
      return
      ;;
    --node | --task | --into | --folder)
      _chronelle_words nodes
      _chronelle_quote
      return
      ;;
    --to)
      if [[ $command == node ]]; then
        _chronelle_words nodes
        _chronelle_quote
      fi
      return
      ;;
  esac

  if [[ $cur == -* ]]; then
    _chronelle_words options "$command" $sub
    return
  fi
  if [[ -z $command ]]; then
    _chronelle_words commands
    return
  fi
  if [[ -z $sub ]]; then
    _chronelle_words subcommands "$command"
    [[ ${#COMPREPLY[@]} -gt 0 ]] && return
  fi
  case "$command" in
    start | node | task | folder | rule | entry | report)
      _chronelle_words nodes
      _chronelle_quote
      ;;
    help)
      _chronelle_words commands
      ;;
  esac
}

# Node names may hold spaces: offer them escaped as the shell reads them.
_chronelle_quote() {
  local i
  for i in "${!COMPREPLY[@]}"; do
    COMPREPLY[i]="$(printf '%q' "${COMPREPLY[i]}")"
  done
}

complete -F _chronelle chronelle
