#!/usr/bin/env bash
# Holds the house's layout: a folder includes only its own floor and the
# floors below (io, then font, then bdf, then the writers sfd and sfnt side
# by side, then the driver in src/ itself), no two headers include each
# other in a loop, and no file holds more than 6% of the lines of src/.
set -euo pipefail
src=$(cd "$(dirname "$0")/../src" && pwd)
floor() { # the floor of a folder of src/
  case $1 in io) echo 0 ;; font) echo 1 ;; bdf) echo 2 ;; sfd | sfnt) echo 3 ;; *) echo 4 ;; esac
}
problems=0
while IFS= read -r file; do
  rel=${file#"$src"/}
  from=$(dirname "$rel")
  while IFS= read -r included; do
    to=$(dirname "$included")
    [ "$to" = . ] && to=src
    [ "$from" = . ] && from=src
    if [ "$(floor "$to")" -gt "$(floor "$from")" ] ||
       { [ "$(floor "$from")" -eq 3 ] && [ "$(floor "$to")" -eq 3 ] && [ "$to" != "$from" ]; }; then
      echo "$rel includes $included, a floor above it or beside it"
      problems=$((problems + 1))
    fi
  done < <(sed -n 's/^#include "\([^"]*\.h\)"$/\1/p' "$file")
done < <(find "$src" -name '*.h' -o -name '*.cc')
# A loop among headers shows as a header that reaches itself.
reaches() { # the headers a header includes, transitively, each once
  local seen=" " queue=("$1") h
  while [ ${#queue[@]} -gt 0 ]; do
    h=${queue[0]}
    queue=("${queue[@]:1}")
    for i in $(sed -n 's/^#include "\([^"]*\.h\)"$/\1/p' "$src/$h"); do
      case $seen in *" $i "*) continue ;; esac
      seen="$seen$i "
      queue+=("$i")
    done
  done
  echo "$seen"
}
while IFS= read -r header; do
  rel=${header#"$src"/}
  case $(reaches "$rel") in *" $rel "*) echo "$rel includes itself through others"; problems=$((problems + 1)) ;; esac
done < <(find "$src" -name '*.h')
total=$(find "$src" -name '*.h' -o -name '*.cc' | xargs cat | wc -l)
while read -r lines file; do
  if [ $((lines * 100)) -gt $((total * 6)) ]; then
    echo "${file#"$src"/} holds $lines of $total lines, past 6%"
    problems=$((problems + 1))
  fi
done < <(find "$src" -name '*.h' -o -name '*.cc' | xargs wc -l | grep -v ' total$')
echo "$problems problems"
[ "$problems" -eq 0 ]
