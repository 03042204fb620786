# Shared by the bench scripts (sourced, not run, from the project's root).

# whole_count VALUE USAGE: stops the script with USAGE unless VALUE is a
# whole number above 0.
whole_count() {
  case $1 in '' | *[!0-9]* | 0) echo "usage: $2" >&2; exit 2 ;; esac
}

# need_built BUILD PROGRAM...: stops the script when a program is not built.
need_built() {
  local build=$1 program
  shift
  for program in "$@"; do
    [ -x "$program" ] || { echo "${0##*/}: $program not built (cmake --build $build)" >&2; exit 1; }
  done
}

# A real program, not a wrapper script standing in for one: an ELF file
# once symbolic links are followed.
is_binary() {
  local path
  path=$(readlink -f "$1" 2>/dev/null) || return 1
  [ -f "$path" ] && [ "$(head -c 4 "$path" | od -An -c | tr -d ' ')" = "177ELF" ]
}

# The first real ImageMagick program among the names given (searched on PATH
# and in /usr/bin, where Debian puts the versioned names).
find_magick() {
  local name path
  for name in "$@"; do
    for path in $(type -ap "$name" 2>/dev/null) "/usr/bin/$name"; do
      if is_binary "$path" && "$path" -version 2>/dev/null | grep -q '^Version: ImageMagick'; then
        echo "$path"
        return 0
      fi
    done
  done
  return 1
}

# magick_tool TOOL NAMES...: sets the array magick_cmd to the command that
# runs ImageMagick's TOOL (compare, mogrify; "" for a conversion, which
# ImageMagick 7's magick does without a tool name): "magick TOOL" where
# magick exists, else the first of NAMES that is real.
# Returns 1, with magick_cmd empty, when there is none.
magick_tool() {
  local tool=$1 path
  shift
  magick_cmd=()
  if path=$(find_magick magick); then
    magick_cmd=("$path" ${tool:+"$tool"})
  elif path=$(find_magick "$@"); then
    magick_cmd=("$path")
  else
    return 1
  fi
}
