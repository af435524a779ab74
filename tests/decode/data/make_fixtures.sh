#!/usr/bin/env bash
# Makes the decoder test articles with real encoders: GNU uuencode (sharutils) and mpack.
# Run it from anywhere; it rewrites the files beside it. The payloads are pseudo-random but fixed
# (perl's generator with a fixed seed) and mpack's own Message-ID is replaced by a fixed one, so
# the same files come out every time.
#
# Articles are written as a news server stores them: header, empty line, body, CR LF line ends,
# not dot-stuffed.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

group=alt.binaries.sounds.mp3

# payload SIZE SEED FILE: SIZE fixed pseudo-random bytes.
payload() {
    perl -e 'srand($ARGV[1]); binmode STDOUT; print map { chr(int(rand(256))) } 1 .. $ARGV[0]' "$1" "$2" >"$3"
}

crlf() { sed 's/$/\r/'; }

# header SUBJECT MESSAGE-ID
header() {
    printf 'From: poster@example.com\nNewsgroups: %s\nSubject: %s\nMessage-ID: %s\n' "$group" "$1" "$2"
}

# Single-part uuencoded songs of the sizes that matter: 1 byte, one short line (44), exactly one
# full "M" line (45), a full line plus a 14-byte line that starts with "." (59), and
# 1,000 full lines plus that line.
for size in 1 44 45 59 45014; do
    payload "$size" "$size" "payload_$size.bin"
    cp "payload_$size.bin" "$work/song_$size.mp3"
    { header "Test Artist - song_$size.mp3" "<uu-$size@harbeat.test>"; echo; (cd "$work" && uuencode "song_$size.mp3" "song_$size.mp3"); } |
        crlf >"uu_$size.article"
done

# A file with mode 444: its begin line is not taken for one.
cp payload_44.bin "$work/readonly.mp3"
chmod 444 "$work/readonly.mp3"
{ header "Test Artist - readonly.mp3" "<uu-444@harbeat.test>"; echo; (cd "$work" && uuencode readonly.mp3 readonly.mp3); } |
    crlf >uu_mode444.article

# MIME Base64 (mpack) of the same sizes.
for size in 1 44 45 59 45014; do
    cp "payload_$size.bin" "$work/song_$size.mp3"
    (cd "$work" && mpack -s "Test Artist - song_$size.mp3" -o "mime_$size.txt" "song_$size.mp3")
    {
        printf 'From: poster@example.com\nNewsgroups: %s\n' "$group"
        sed "s/^Message-ID: .*/Message-ID: <mime-$size@harbeat.test>/" "$work/mime_$size.txt"
    } | crlf >"mime_$size.article"
done

# Multi-part uuencoded songs, split the way posters split them: the encoded lines in runs of
# LINES, part 1 with the begin line, the last part with the closing lines; every part's
# Subject ends in "(n/m)".
# multipart NAME SIZE LINES
multipart() {
    local name=$1 size=$2 lines=$3
    payload "$size" "$size" "payload_$name.bin"
    cp "payload_$name.bin" "$work/$name.mp3"
    (cd "$work" && uuencode "$name.mp3" "$name.mp3") >"$work/$name.uue"
    # Everything but the begin line, split into runs.
    tail -n +2 "$work/$name.uue" | split -l "$lines" -d -a 2 - "$work/$name.part."
    local parts=("$work/$name.part."*)
    local count=${#parts[@]}
    local n=1
    for part in "${parts[@]}"; do
        {
            header "Test Artist - $name.mp3 ($n/$count)" "<$name-$n@harbeat.test>"
            echo
            [ "$n" -eq 1 ] && head -n 1 "$work/$name.uue"
            cat "$part"
        } | crlf >"uu_${name}_article$n.article"
        n=$((n + 1))
    done
}
multipart song2 3000 40 # two parts
multipart song3 5000 40 # three parts

echo "Fixtures written to $(pwd)"
