#!/usr/bin/env bash
# Fails when an engine file includes a folder of a higher layer than its own. The layers, from the
# ground up: include (the public contract, which includes no engine folder at all); core; net;
# nntp and http; songs and decode; download; api (the exports).
set -euo pipefail
engine=${1:?usage: check_engine_layers.sh ENGINE_FOLDER}
declare -A rank=([include]=-1 [core]=0 [net]=1 [nntp]=2 [http]=2 [songs]=3 [decode]=3 [download]=4 [api]=5)
status=0
for folder in "${!rank[@]}"; do
    while IFS= read -r hit; do
        file=${hit%%:*}
        included=$(sed -E 's/.*#include "([a-z_]+)\/.*/\1/' <<<"$hit")
        [ -n "${rank[$included]+x}" ] || continue
        if (( rank[$included] > rank[$folder] )); then
            echo "$file includes $included/, a higher layer than $folder/"
            status=1
        fi
    done < <(grep -HE '^#include "[a-z_]+/' "$engine/$folder"/*.cpp "$engine/$folder"/*.h 2>/dev/null || true)
done
[ $status -eq 0 ] && echo "engine layers: every include runs down or across"
exit $status
