#!/usr/bin/env bash
# Our yEnc encoder (harbeat-yenc) against an independent decoder: uudeview must decode what we
# encode to exactly the bytes we gave, for single- and multi-part posts, short and long lines,
# and a payload of every byte value (so every escape is written, also at line starts and ends).
# uudeview reads a line into 256 characters and splits a longer one, which breaks an escape that
# straddles the split: lines of more than 253 characters (254 with a final escape) are beyond it,
# so the engine's own tests cover those.
#
#   check_with_uudeview.sh PATH-TO-harbeat-yenc
set -euo pipefail
encoder=$1
command -v uudeview >/dev/null || { echo "uudeview is not installed (Debian package uudeview)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# payload SIZE SEED FILE: fixed pseudo-random bytes; SEED 0 gives 0, 1, ..., 255, 0, 1, ...
payload() {
    perl -e 'binmode STDOUT; my ($n, $s) = @ARGV; if ($s == 0) { print map { chr($_ % 256) } 0 .. $n - 1 }
             else { srand($s); print map { chr(int(rand(256))) } 1 .. $n }' "$1" "$2" >"$3"
}

failures=0
# size seed parts line-length
while read -r size seed parts line; do
    case_dir="$work/$size-$seed-$parts-$line"
    mkdir -p "$case_dir/out"
    payload "$size" "$seed" "$case_dir/song.bin"
    "$encoder" "$case_dir/song.bin" "Test Song.mp3" "$parts" "$case_dir/body" "$line"
    articles=()
    for ((n = 1; n <= parts; n++)); do
        {
            printf 'From: poster@example.com\r\nNewsgroups: alt.binaries.sounds.mp3\r\n'
            printf 'Subject: "Test Song.mp3" yEnc (%d/%d)\r\n\r\n' "$n" "$parts"
            cat "$case_dir/body.$n"
        } >"$case_dir/article.$n"
        articles+=("$case_dir/article.$n")
    done
    messages=$(uudeview -i -q -p "$case_dir/out/" "${articles[@]}" 2>&1 || true)
    if ! cmp -s "$case_dir/out/Test Song.mp3" "$case_dir/song.bin"; then
        echo "FAILED: $size bytes, seed $seed, $parts parts, lines of $line: uudeview decoded other bytes" >&2
        failures=$((failures + 1))
    elif [ -n "$messages" ]; then
        echo "FAILED: $size bytes, seed $seed, $parts parts, lines of $line: uudeview said: $messages" >&2
        failures=$((failures + 1))
    fi
done <<'CASES'
1 1 1 128
256 0 1 128
4096 0 1 2
4096 0 1 61
300000 7 1 128
300000 0 3 128
250001 9 7 253
65536 0 2 200
CASES
[ "$failures" -eq 0 ] && echo "uudeview decoded every case byte for byte"
exit "$failures"
