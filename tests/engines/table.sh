# Prints the matrix's results (engine_test.sh's files in DIR, by default
# build/engines-results) as a table: case, engine and version, each check.
dir=${1:-$(dirname "$0")/../../build/engines-results}
checks=(print-url attach breakpoint paused-at-start resume close)
printf '| case | engine | %s |\n' "$(IFS='|'; echo "${checks[*]}" | sed 's/|/ | /g')"
printf '|---|---|%s\n' "$(for _ in "${checks[@]}"; do printf -- '---|'; done)"
for file in "$dir"/*.tsv; do
  [ -f "$file" ] || continue
  case_name=$(basename "$file" .tsv)
  engine=$(cut -f2 "$file" | head -n1)
  row="| $case_name | $engine |"
  for check in "${checks[@]}"; do
    result=$(awk -F'\t' -v c="$check" '$3 == c {print $4}' "$file")
    row="$row ${result:--} |"
  done
  echo "$row"
done
