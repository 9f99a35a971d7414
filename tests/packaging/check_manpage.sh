#!/usr/bin/env bash
# The manual page must say what the program's own help says: every line of `qarvo --help` and
# of each `qarvo COMMAND --help` appears in the rendered page (in the command's own section for
# a command), each section names exactly the options of its command, every example uses only
# options its command has, and man renders the page without a single warning.
# Usage: check_manpage.sh QARVO PAGE
set -uo pipefail
# The pages and the help are Chinese: read and render them as UTF-8 whatever the caller's locale.
export LC_ALL=C.UTF-8
qarvo=$1
page=$2
failures=0
# A list on one line, for messages.
one_line() { tr -s '\n' ' ' <<<"$1" | sed 's/ $//'; }
fail() {
  echo "check_manpage: $*" >&2
  failures=$((failures + 1))
}

warnings=$(MANWIDTH=80 man -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man reports: $warnings"

rendered=$(MANWIDTH=80 man -l "$page" 2>/dev/null | sed 's/.\x08//g')
[ -n "$rendered" ] || fail "man rendered nothing"

squeeze() { tr -d '[:space:]'; }
options_in() { { grep -o -- '--[a-z0-9][a-z0-9-]*' || true; } | sort -u; }

# The rendered text under a heading: a section heading starts in column 0, a subsection heading
# in column 3, the text below them further in.
section() {
  awk -v title="$1" '
    found && (/^[^ ]/ || /^   [^ ]/) { exit }
    $0 == title { found = 1; next }
    found { print }
  ' <<<"$rendered"
}

# Every line of `help`, cut at its semicolons, must appear in `text` (blanks aside). Lines that
# only head a list ("命令:", "选项:") have no words of their own to check.
help_lines_appear() {
  local what=$1 help=$2 text
  text=$(squeeze <<<"$3")
  local line piece pieces
  while IFS= read -r line; do
    line=$(sed -E 's/^[[:space:]]+//; s/[[:space:]]+$//' <<<"$line")
    [ -n "$line" ] || continue
    [[ "$line" =~ ^[^[:space:]]+:$ ]] && continue
    IFS=';' read -ra pieces <<<"$line"
    for piece in "${pieces[@]}"; do
      piece=$(squeeze <<<"$piece")
      piece=${piece#用法:}
      piece=${piece#退出码:}
      piece=${piece%。}
      [ -n "$piece" ] || continue
      [[ "$text" == *"$piece"* ]] || fail "$what: the page lacks \"$piece\" (from: $line)"
    done
  done <<<"$help"
}

top_help=$("$qarvo" --help) || fail "qarvo --help failed"
help_lines_appear "qarvo --help" "$top_help" "$rendered"
commands=$(awk '/^命令:/ { list = 1; next } list && /^  [a-z0-9]+ / { print $1 } list && /^$/ { exit }' <<<"$top_help")
[ -n "$commands" ] || fail "no commands found in qarvo --help"

for command in $commands; do
  help=$("$qarvo" "$command" --help) || fail "qarvo $command --help failed"
  text=$(section "   qarvo $command")
  if [ -z "$text" ]; then
    fail "the page has no section \"qarvo $command\""
    continue
  fi
  help_lines_appear "qarvo $command --help" "$help" "$text"
  help_options=$(options_in <<<"$help")
  page_options=$(options_in <<<"$text")
  [ "$help_options" = "$page_options" ] ||
    fail "qarvo $command: options differ (help: $(one_line "$help_options"); page: $(one_line "$page_options"))"
done

examples=$(section "示例")
[ -n "$examples" ] || fail "the page has no examples"
while IFS= read -r call; do
  command=$(awk '{ print $2 }' <<<"$call")
  if ! help=$("$qarvo" "$command" --help 2>/dev/null); then
    fail "example \"$call\": no command $command"
    continue
  fi
  known=$(options_in <<<"$help")
  for option in $(options_in <<<"$call"); do
    grep -qx -- "$option" <<<"$known" || fail "example \"$call\": qarvo $command has no $option"
  done
done < <(grep -o 'qarvo [a-z0-9]\+[^&|;]*' <<<"$examples")

if [ "$failures" -ne 0 ]; then
  exit 1
fi
echo "check_manpage: $page matches the help of qarvo and its commands $(one_line "$commands")"
