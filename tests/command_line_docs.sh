#!/usr/bin/env bash
# The shell completion offers what the program takes: its options, the words
# --anchor, --metadata and --flip accept (as the program's own refusals list
# them), and file names; and the manual page describes every option.
#   command_line_docs.sh TESSIVA_CONVERT COMPLETION_FILE MANUAL_PAGE
set -euo pipefail
program=$(realpath "$1")
manual=$(realpath "$3")
source "$2"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
touch photo.jpg photo-two.png

offered() {  # the completions for the command line "$@", the last word being typed
    COMP_WORDS=("$program" "$@"); COMP_CWORD=$#
    _tessiva_convert
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
accepted() {  # the words the program lists when it refuses OPTION's value
    "$program" "--$1" no-such-word photo.jpg 2>&1 | head -1 | sed 's/.* is one of //' |
        tr -d ',' | tr ' ' '\n' | sort | tr '\n' ' '
}
expect() {
    [ "$2" = "$3" ] || { echo "FAIL: $1: offered [$2], wanted [$3]"; exit 1; }
}

"$program" --help > /dev/null  # asked for, help is no mistake
expect "--anc" "$(offered --anc)" "--anchor "
expect "--anchor" "$(offered --anchor '')" "$(accepted anchor)"
expect "--metadata" "$(offered --metadata '')" "$(accepted metadata)"
expect "--flip" "$(offered -f '')" "$(accepted flip)"
expect "a photo" "$(offered -W 800 pho)" "photo-two.png photo.jpg "
options=$(offered -)
for option in --width --output-dir --text-upright --metadata --help; do
    [[ " $options " == *" $option "* ]] || { echo "FAIL: $option not offered: $options"; exit 1; }
done
for option in $options; do
    [[ $option == --* ]] || continue
    grep -qF -- "\fB$(sed 's/-/\\-/g' <<<"$option")\fR" "$manual" \
        || { echo "FAIL: the manual page does not describe $option"; exit 1; }
done
echo "completion offers options, values and files as the program takes them; the manual describes each option"
