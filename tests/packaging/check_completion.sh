#!/usr/bin/env bash
# The bash completion offers the commands, for each command exactly the options its --help
# lists, the values of the options that have a fixed set, folders for --out and pieces for merge.
# Usage: check_completion.sh QARVO COMPLETION_FILE
set -uo pipefail
# The pages and the help are Chinese: read and render them as UTF-8 whatever the caller's locale.
export LC_ALL=C.UTF-8
qarvo=$1
completion=$(realpath "$2")
failures=0
# A list on one line, for messages.
one_line() { tr -s '\n' ' ' <<<"$1" | sed 's/ $//'; }
fail() {
  echo "check_completion: $*" >&2
  failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/sub" "$work/片段"
touch "$work/a.vrk" "$work/b.txt" "$work/c.VRK" "$work/电影1.vrk" "$work/d.sha256" "$work/e.SFV"

# What the completion offers for the command line `$1` (the cursor at its end), sorted, one
# per line.
offers() {
  (cd "$work" && bash -c '
    source "$1"
    read -ra COMP_WORDS <<<"$2"
    [[ "$2" == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$2
    COMP_POINT=${#2}
    _qarvo qarvo "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}"
  ' bash "$completion" "$1" | sed '/^$/d' | LC_ALL=C sort)
}

expect() {
  local line=$1 want got
  want=$(printf '%s\n' "${@:2}" | sed '/^$/d' | LC_ALL=C sort -u)
  got=$(offers "$line")
  [ "$got" = "$want" ] || fail "\"$line\": offers [$(one_line "$got")], expected [$(one_line "$want")]"
}

[ "$(bash -c 'source "$1"; complete -p qarvo' bash "$completion")" = "complete -F _qarvo qarvo" ] ||
  fail "sourcing the file does not register the completion of qarvo"

commands=$("$qarvo" --help | awk '/^命令:/ { list = 1; next } list && /^  [a-z0-9]+ / { print $1 } list && /^$/ { exit }')
# shellcheck disable=SC2086
expect "qarvo " $commands --help
expect "qarvo m" merge mp3cut

for command in $commands; do
  help_options=$("$qarvo" "$command" --help | { grep -o -- '--[a-z0-9][a-z0-9-]*' || true; })
  # shellcheck disable=SC2086
  expect "qarvo $command x --" $help_options --help
done

expect "qarvo split movie.avi --compress " fastest default max
expect "qarvo split movie.avi --compress m" max
expect "qarvo pack a b --check " md5 crc32
expect "qarvo split movie.avi --out " sub 片段
expect "qarvo split movie.avi --count "
expect "qarvo split movie.avi --size " fat32 cd dvd mail
expect "qarvo split movie.avi --size d" dvd
expect "qarvo merge " a.vrk sub 片段 电影1.vrk
expect "qarvo merge 电" 电影1.vrk
expect "qarvo compare a.vrk " a.vrk b.txt c.VRK sub 片段 电影1.vrk d.sha256 e.SFV
expect "qarvo compare a.vrk --expect "
expect "qarvo check " d.sha256 e.SFV sub 片段
expect "qarvo compare -- --" 
expect "qarvo nosuchcommand "

if [ "$failures" -ne 0 ]; then
  exit 1
fi
echo "check_completion: commands, options and values offered as the help lists them"
