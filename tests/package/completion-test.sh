#!/usr/bin/env bash
# Scripted completions of pontrel-convert: completion-test.sh COMPLETION_SCRIPT BIN_DIR SAMPLE.sqlite
# Each case sets the words on the line as bash would and compares what the function offers.
set -uo pipefail
source "$1"
program=$2/pontrel-convert
sample=$3
folder=$(mktemp -d "${TMPDIR:-/tmp}/pontrel-completion-XXXXXX")
trap 'rm -rf "$folder"' EXIT
cp "$sample" "$folder/my samples.sqlite"
cp "$sample" "$folder/-dash.sqlite"
mkdir "$folder/out"
failures=0

# offers EXPECTED WORD...: the last word is the one being completed, or word $CWORD when set.
offers() {
    local expected=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=${CWORD:-$(($# - 1))}
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _pontrel_convert
    local got=
    [ ${#COMPREPLY[@]} -eq 0 ] || got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    if [ "$got" != "$expected" ]; then
        echo "FAIL: [$*] offered [$got], expected [$expected]"
        failures=$((failures + 1))
    fi
}

cd "$folder"
days=$("$program" "$sample" --list-days)
first_day=$(head -n 1 <<<"$days")
first_days=$(grep "^${first_day:0:7}" <<<"$days" | sort | tr '\n' ' ')

offers "military normal " "$program" "$sample" --coordinates ""
offers "exact rounded " "$program" "$sample" --values ""
offers "gpkg " "$program" "$sample" --format g
offers "null " "$program" "$sample" --parameter T --missing = n
offers "visits " "$program" "$sample" --day 2023-01-02 --layout vi
offers "" "$program" "$sample" --crs EPSG  # a code: nothing to offer
offers "normal " "$program" --coordinates n
offers "military " "$program" "$sample" --coordinates = mi
offers "Temperatura " "$program" "$sample" --parameter Temp
CWORD=2 offers "Temperatura " "$program" --parameter Temp --folder out "$sample"  # database after the cursor
CWORD=2 offers "Temperatura " "$program" --parameter Temp -- -dash.sqlite
offers "Temperatura " "$program" "'my samples.sqlite'" --parameter Temp
offers "" "$program" --list-days -- -dash.sqlite --param  # after -- nothing is an option
offers "$first_days" "$program" "$sample" --day "${first_day:0:7}"
offers "--list-days --list-parameters " "$program" "$sample" --list-
offers "--quiet " "$program" "$sample" --parameter Temperatura --q
offers "out " "$program" "$sample" --folder o
offers "-dash.sqlite " "$program" -- -d
offers "" "$program" --parameter Temp                     # no database yet: nothing to ask
offers "" "$program" missing.sqlite --parameter Temp      # an absent database: nothing, no error
offers "" "$program" "$sample" --name T

[ $failures -eq 0 ] || exit 1
echo "every completion as expected"
