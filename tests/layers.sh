#!/usr/bin/env bash
# The program's floors, top down: each folder includes only from its own
# floor and those below it (and res/ for the version), and nothing of the
# program includes the simulated machine (sim/). Prints each include that
# breaks this; exits non-zero when there is one.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
floors=(ui run installer device platform)
status=0
for i in "${!floors[@]}"; do
    allowed=" ${floors[*]:$i} res "
    while IFS= read -r line; do
        file=${line%%:*}
        included=${line#*:}
        [[ $allowed == *" ${included%%/*} "* ]] && continue
        echo "$file includes $included, which is not on its floor or below"
        status=1
    done < <(cd "$root" && grep -rHoE '#include "[a-z0-9_]+/[^"]+"' "${floors[$i]}" | sed -E 's/:#include "(.*)"$/:\1/')
done
exit $status
