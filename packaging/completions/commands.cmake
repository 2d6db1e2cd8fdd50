# mirrorvane-cli's command line, described once: the bash, zsh and fish
# completions are generated from it (generate.cmake).  Keep it in step with
# the program's --help.

set(cli_program mirrorvane-cli)

# Commands and what they do.
set(cli_commands capacity check hide reveal)
set(cli_about_capacity "print the longest text each picture can hide")
set(cli_about_check "print the names of the pictures that carry a hidden message")
set(cli_about_hide "hide a text in a picture and write the result")
set(cli_about_reveal "write the hidden text to standard output")

# The file arguments of each command, in order: a picture to read, any
# number of pictures to read (last only), or an output picture to write.
set(cli_files_capacity pictures)
set(cli_files_check pictures)
set(cli_files_hide picture output)
set(cli_files_reveal picture)

# The extensions of the pictures the program reads.
set(cli_picture_extensions bmp jpg jpeg gif png)

# Options: name|value|commands|about.  The value is empty for a flag, "text"
# for free text, "file" for a file name, or the choices separated by commas.
# The commands are separated by spaces; "*" is every command and none.
set(cli_options
  "--text|text|hide|the text to hide"
  "--text-file|file|hide|read the text to hide from a file (- is standard input)"
  "--format|bmp,png|hide|the kind of output picture, whatever its name"
  "--raw||hide reveal|the text is Windows-1252 bytes as they stand, not UTF-8"
  "--utf8||hide|hide a text Windows-1252 cannot hold as UTF-8"
  "-o|file|reveal|write the text to a file instead of standard output"
  "--output|file|reveal|write the text to a file instead of standard output"
  "-0||check|end each name with a NUL byte"
  "--null||check|end each name with a NUL byte"
  "-q||check|print nothing but the exit status"
  "--quiet||check|print nothing but the exit status"
  "-h||*|show the help and exit"
  "--help||*|show the help and exit"
  "--version||*|show the version and exit")
