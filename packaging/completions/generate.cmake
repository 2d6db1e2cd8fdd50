# Writes the bash, zsh and fish completions of mirrorvane-cli into
# `completions_dir` from the one description in commands.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/commands.cmake)

set(banner "# Generated from packaging/completions/commands.cmake; edit that file instead.")

# Splits an option entry into opt_name, opt_value, opt_commands, opt_about.
macro(cli_option entry)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 opt_name)
  list(GET fields 1 opt_value)
  list(GET fields 2 opt_commands)
  list(GET fields 3 opt_about)
  string(REPLACE " " ";" opt_commands "${opt_commands}")
endmacro()

# The options a command takes (`*` for the words before any command).
function(cli_options_of command out_all out_valued)
  set(all)
  set(valued)
  foreach(entry IN LISTS cli_options)
    cli_option("${entry}")
    if("*" IN_LIST opt_commands OR command IN_LIST opt_commands)
      list(APPEND all ${opt_name})
      if(NOT opt_value STREQUAL "")
        list(APPEND valued ${opt_name})
      endif()
    endif()
  endforeach()
  set(${out_all} "${all}" PARENT_SCOPE)
  set(${out_valued} "${valued}" PARENT_SCOPE)
endfunction()

string(REPLACE ";" "|" picture_alternatives "${cli_picture_extensions}")
string(REPLACE ";" "|*." picture_case "*.${cli_picture_extensions}")
# ---- bash ----
set(valued_all)
foreach(entry IN LISTS cli_options)
  cli_option("${entry}")
  if(NOT opt_value STREQUAL "")
    list(APPEND valued_all ${opt_name})
  endif()
endforeach()
string(REPLACE ";" "|" valued_case "${valued_all}")
string(REPLACE ";" "|" commands_case "${cli_commands}")
cli_options_of("" top_options top_valued)
string(REPLACE ";" " " top_words "${cli_commands};${top_options}")

set(bash "${banner}
_${cli_program}_complete()
{
    local cur=\${COMP_WORDS[COMP_CWORD]} prev=\${COMP_WORDS[COMP_CWORD-1]}
    local command= position=0 i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case \${COMP_WORDS[i]} in
            ${valued_case}) ((i++)) ;;
            -*) ;;
            *) if [[ -z \$command ]]; then command=\${COMP_WORDS[i]}; else ((position++)); fi ;;
        esac
    done
    case \$prev in
")
foreach(entry IN LISTS cli_options)
  cli_option("${entry}")
  if(opt_value STREQUAL "text")
    string(APPEND bash "        ${opt_name}) return ;;\n")
  elseif(opt_value STREQUAL "file")
    string(APPEND bash "        ${opt_name}) compopt -o filenames 2>/dev/null; COMPREPLY=(\$(compgen -f -- \"\$cur\")); return ;;\n")
  elseif(NOT opt_value STREQUAL "")
    string(REPLACE "," " " choices "${opt_value}")
    string(APPEND bash "        ${opt_name}) COMPREPLY=(\$(compgen -W \"${choices}\" -- \"\$cur\")); return ;;\n")
  endif()
endforeach()
string(APPEND bash "    esac
    local options= files=
    case \$command in
        '') COMPREPLY=(\$(compgen -W \"${top_words}\" -- \"\$cur\")); return ;;
")
foreach(command IN LISTS cli_commands)
  cli_options_of(${command} options valued)
  string(REPLACE ";" " " options "${options}")
  string(REPLACE ";" " " files "${cli_files_${command}}")
  string(APPEND bash "        ${command}) options=\"${options}\" files=\"${files}\" ;;\n")
endforeach()
string(APPEND bash "        *) return ;;
    esac
    if [[ \$cur == -* ]]; then
        COMPREPLY=(\$(compgen -W \"\$options\" -- \"\$cur\"))
        return
    fi
    local kinds=(\$files)
    local kind=\${kinds[position]:-\${kinds[-1]}}
    [[ \$kind == pictures || \$position -lt \${#kinds[@]} ]] || return
    compopt -o filenames 2>/dev/null
    case \$kind in
        picture|pictures)
            COMPREPLY=(\$(compgen -d -- \"\$cur\"))
            local name
            while IFS= read -r name; do
                case \${name,,} in ${picture_case}) COMPREPLY+=(\"\$name\") ;; esac
            done < <(compgen -f -- \"\$cur\") ;;
        output) COMPREPLY=(\$(compgen -f -- \"\$cur\")) ;;
    esac
}
complete -F _${cli_program}_complete ${cli_program}
")
string(REPLACE "-" "_" bash_function "_${cli_program}_complete")
string(REPLACE "_${cli_program}_complete" "${bash_function}" bash "${bash}")
file(WRITE ${completions_dir}/bash/${cli_program} "${bash}")

# ---- zsh ----
# One _arguments spec for an option.
function(cli_zsh_spec entry out)
  cli_option("${entry}")
  string(REPLACE "'" "'\\''" about "${opt_about}")
  string(REPLACE "[" "\\[" about "${about}")
  string(REPLACE "]" "\\]" about "${about}")
  if(opt_value STREQUAL "")
    set(spec "'${opt_name}[${about}]'")
  elseif(opt_value STREQUAL "text")
    set(spec "'${opt_name}=[${about}]:text: '")
  elseif(opt_value STREQUAL "file")
    set(spec "'${opt_name}=[${about}]:file:_files'")
  else()
    string(REPLACE "," " " choices "${opt_value}")
    set(spec "'${opt_name}=[${about}]:value:(${choices})'")
  endif()
  set(${out} "${spec}" PARENT_SCOPE)
endfunction()

set(zsh "#compdef ${cli_program}\n${banner}\n\nlocal -a commands\ncommands=(\n")
foreach(command IN LISTS cli_commands)
  string(APPEND zsh "    '${command}:${cli_about_${command}}'\n")
endforeach()
string(APPEND zsh ")\nlocal picture='_files -g \"*.(#i)(${picture_alternatives})(-.)\"'\n")
string(APPEND zsh "local curcontext=\$curcontext state line\ntypeset -A opt_args\n\n_arguments -C \\\n")
foreach(entry IN LISTS cli_options)
  cli_option("${entry}")
  if("*" IN_LIST opt_commands)
    cli_zsh_spec("${entry}" spec)
    string(APPEND zsh "    ${spec} \\\n")
  endif()
endforeach()
string(APPEND zsh "    '1:command:->command' \\\n    '*::argument:->argument'\n\ncase \$state in\n")
string(APPEND zsh "    command) _describe -t commands command commands ;;\n    argument)\n        case \$words[1] in\n")
foreach(command IN LISTS cli_commands)
  string(APPEND zsh "            ${command}) _arguments")
  foreach(entry IN LISTS cli_options)
    cli_option("${entry}")
    if("*" IN_LIST opt_commands OR command IN_LIST opt_commands)
      cli_zsh_spec("${entry}" spec)
      string(APPEND zsh " \\\n                ${spec}")
    endif()
  endforeach()
  set(position 1)
  foreach(kind IN LISTS cli_files_${command})
    if(kind STREQUAL "pictures")
      string(APPEND zsh " \\\n                \"*:picture:\$picture\"")
    elseif(kind STREQUAL "picture")
      string(APPEND zsh " \\\n                \"${position}:picture:\$picture\"")
    else()
      string(APPEND zsh " \\\n                '${position}:${kind}:_files'")
    endif()
    math(EXPR position "${position} + 1")
  endforeach()
  string(APPEND zsh " ;;\n")
endforeach()
string(APPEND zsh "        esac ;;\nesac\n")
file(WRITE ${completions_dir}/zsh/_${cli_program} "${zsh}")

# ---- fish ----
string(REPLACE ";" " " commands_words "${cli_commands}")
set(fish "${banner}\ncomplete -c ${cli_program} -f\n")
foreach(command IN LISTS cli_commands)
  string(APPEND fish "complete -c ${cli_program} -n 'not __fish_seen_subcommand_from ${commands_words}' -a ${command} -d '${cli_about_${command}}'\n")
endforeach()
foreach(entry IN LISTS cli_options)
  cli_option("${entry}")
  string(REPLACE "'" "\\'" about "${opt_about}")
  if(opt_name MATCHES "^--(.*)")
    set(flag "-l ${CMAKE_MATCH_1}")
  else()
    string(SUBSTRING "${opt_name}" 1 -1 short)
    set(flag "-s ${short}")
  endif()
  if("*" IN_LIST opt_commands)
    set(condition "")
  else()
    string(REPLACE ";" " " listed "${opt_commands}")
    set(condition " -n '__fish_seen_subcommand_from ${listed}'")
  endif()
  if(opt_value STREQUAL "")
    set(value "")
  elseif(opt_value STREQUAL "text")
    set(value " -x")
  elseif(opt_value STREQUAL "file")
    set(value " -r -F")
  else()
    string(REPLACE "," " " choices "${opt_value}")
    set(value " -x -a '${choices}'")
  endif()
  string(APPEND fish "complete -c ${cli_program}${condition} ${flag}${value} -d '${about}'\n")
endforeach()
# File arguments.
foreach(command IN LISTS cli_commands)
  string(APPEND fish "complete -c ${cli_program} -n '__fish_seen_subcommand_from ${command}' -F\n")
endforeach()
file(WRITE ${completions_dir}/fish/${cli_program}.fish "${fish}")
