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
# Replies go through mapfile: names with spaces or wildcards stay whole.  A
# value completed inside \"--option=\" keeps that prefix unless = breaks words.
_${cli_program}_reply()
{
    mapfile -t COMPREPLY < <(\"\$@\")
    if [[ -n \$prefix && \$COMP_WORDBREAKS != *=* ]]; then
        COMPREPLY=(\"\${COMPREPLY[@]/#/\$prefix}\")
    fi
}

_${cli_program}_complete()
{
    local cur=\${COMP_WORDS[COMP_CWORD]} prev=\${COMP_WORDS[COMP_CWORD-1]} prefix=
    # --format=png: one word, or three (\"--format\" \"=\" \"png\") where = breaks words.
    if [[ \$cur == --*=* ]]; then
        prev=\${cur%%=*} prefix=\${cur%%=*}= cur=\${cur#*=}
    elif [[ \$cur == = && \$prev == --* ]]; then
        cur=
    elif [[ \$prev == = && COMP_CWORD -ge 2 ]]; then
        prev=\${COMP_WORDS[COMP_CWORD-2]}
    fi
    local command= position=0 ended= i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ -n \$ended ]]; then
            if [[ -z \$command ]]; then command=\${COMP_WORDS[i]}; else ((position++)); fi
            continue
        fi
        case \${COMP_WORDS[i]} in
            ${valued_case}) if [[ \${COMP_WORDS[i+1]} == = ]]; then ((i += 2)); else ((i++)); fi ;;
            --) ended=1 ;;
            -?*|=) ;;
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
    string(APPEND bash "        ${opt_name}) compopt -o filenames 2>/dev/null; _${cli_program}_reply compgen -f -- \"\$cur\"; return ;;\n")
  elseif(NOT opt_value STREQUAL "")
    string(REPLACE "," " " choices "${opt_value}")
    string(APPEND bash "        ${opt_name}) _${cli_program}_reply compgen -W \"${choices}\" -- \"\$cur\"; return ;;\n")
  endif()
endforeach()
string(APPEND bash "    esac
    local options= files=
    case \$command in
        '') _${cli_program}_reply compgen -W \"${top_words}\" -- \"\$cur\"; return ;;
")
foreach(command IN LISTS cli_commands)
  cli_options_of(${command} options valued)
  string(REPLACE ";" " " options "${options}")
  string(REPLACE ";" " " files "${cli_files_${command}}")
  string(APPEND bash "        ${command}) options=\"${options}\" files=\"${files}\" ;;\n")
endforeach()
string(APPEND bash "        *) return ;;
    esac
    if [[ \$cur == -* && -z \$ended ]]; then
        _${cli_program}_reply compgen -W \"\$options\" -- \"\$cur\"
        return
    fi
    local kinds=(\$files)
    local kind=\${kinds[position]:-\${kinds[-1]}}
    [[ \$kind == pictures || \$position -lt \${#kinds[@]} ]] || return
    compopt -o filenames 2>/dev/null
    case \$kind in
        picture|pictures)
            _${cli_program}_reply compgen -d -- \"\$cur\"
            local name
            while IFS= read -r name; do
                case \${name,,} in ${picture_case}) COMPREPLY+=(\"\$name\") ;; esac
            done < <(compgen -f -- \"\$cur\") ;;
        output) _${cli_program}_reply compgen -f -- \"\$cur\" ;;
    esac
}
complete -F _${cli_program}_complete ${cli_program}
")
string(REPLACE "-" "_" bash_prefix "_${cli_program}_")
string(REPLACE "_${cli_program}_" "${bash_prefix}" bash "${bash}")
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
# The program takes its options anywhere, before the command too.
foreach(entry IN LISTS cli_options)
  cli_zsh_spec("${entry}" spec)
  string(APPEND zsh "    ${spec} \\\n")
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
# File arguments: by their place after the command, pictures by extension.
string(REPLACE "-" "_" fish_prefix "__${cli_program}")
string(REPLACE ";" " " valued_words "${valued_all}")
string(APPEND fish "
# How many words before the cursor are not options: 1 (the command) while
# its first file is typed, 2 for its second.
function ${fish_prefix}_words
    set -l words (commandline -opc)
    set -e words[1]
    set -l count 0
    set -l skip 0
    for word in $words
        if test $skip = 1
            set skip 0
        else if contains -- $word ${valued_words}
            set skip 1
        else if not string match -q -- '-?*' $word
            set count (math $count + 1)
        end
    end
    echo $count
end

# Folders, and the files whose extension names a picture the program reads.
function ${fish_prefix}_pictures
    for name in (__fish_complete_path (commandline -ct) | string split -f1 \\t)
        if string match -q -- '*/' $name; or string match -qir -- '\\.(${picture_alternatives})\$' $name
            printf '%s\\n' $name
        end
    end
end
")
foreach(command IN LISTS cli_commands)
  set(words 1)
  foreach(kind IN LISTS cli_files_${command})
    set(condition "__fish_seen_subcommand_from ${command}; and test (${fish_prefix}_words) -eq ${words}")
    if(kind STREQUAL "picture")
      string(APPEND fish "complete -c ${cli_program} -n '${condition}' -a '(${fish_prefix}_pictures)'\n")
    else()
      string(APPEND fish "complete -c ${cli_program} -n '${condition}' -F\n")
    endif()
    math(EXPR words "${words} + 1")
  endforeach()
endforeach()
file(WRITE ${completions_dir}/fish/${cli_program}.fish "${fish}")
