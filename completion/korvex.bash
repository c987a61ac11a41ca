# bash completion for korvex: the command word, then the options of that
# command (before the names), then catalogs (*.dir) and directories.

_korvex() {
  local cur=${COMP_WORDS[COMP_CWORD]} word=${COMP_WORDS[1]}
  COMPREPLY=()
  if ((COMP_CWORD == 1)); then
    COMPREPLY=($(compgen -W 'c u l e v d s --help --version' -- "$cur"))
    return
  fi

  local options
  case $word in
    c | u) options='/store= /max= /fast' ;;
    l) options='/fast' ;;
    e) options='/mount= /overwrite /fast' ;;
    v) options='/fast /times' ;;
    d) options='/times' ;;
    s) options='/size= /crc= /like= /dirs /fast /json /dupes /min=' ;;
    *) return ;;
  esac

  # The names start at the first argument that is not an option, or after "--".
  local i=2 ended=0
  while ((i < COMP_CWORD)); do
    case ${COMP_WORDS[i]} in
      --) ended=1; ((i++)); break ;;
      /*) ((i++)) ;;
      *) break ;;
    esac
  done
  local names=$((COMP_CWORD - i))

  if ((names == 0 && !ended)) && [[ $cur == /* ]]; then
    case $cur in
      /mount=* | /like=*) _korvex_files "${cur%%=*}=" "${cur#*=}" -f ;;
      *)
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        [[ ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
        ;;
    esac
    # An absolute path is a name too, once no option matches it.
    ((${#COMPREPLY[@]})) && return
  fi

  case $word:$names in
    c:1 | u:1 | e:2 | v:1) _korvex_files '' "$cur" -d ;;
    s:0 | l:1 | e:1) ;;  # a mask or a path inside the catalog
    c:0 | u:0 | l:0 | e:0 | v:0 | d:0 | d:1 | s:*) _korvex_files '' "$cur" -d -catalogs ;;
  esac
}

# _korvex_files PREFIX CURRENT -f|-d [-catalogs]: files or directories (and
# catalogs) whose names begin with CURRENT, each with PREFIX before it.
_korvex_files() {
  local IFS=$'\n'
  COMPREPLY=($(compgen -P "$1" "$3" -- "$2"))
  [[ ${4-} ]] && COMPREPLY+=($(compgen -P "$1" -f -X '!*.[dD][iI][rR]' -- "$2"))
  compopt -o filenames 2>/dev/null
}

complete -F _korvex korvex
