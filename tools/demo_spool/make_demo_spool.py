#!/usr/bin/env python3
"""Makes the demo spool that scripts/demo serves with the bundled news server.

Every song is a short, real, playable MP3 clip: sox plays a little tune, lame encodes it. The clips
are posted the way people post songs: uuencoded over 2 to 6 articles with "(n/m)" or "[n/m]" in the
subject, yEnc-encoded over 4 articles with the subjects yEnc posters write, or as one MIME Base64
article; a few songs miss a part, a few posts are not songs at all, and the request group is open
for posting.

    tools/demo_spool/make_demo_spool.py [output folder]   (default: tools/demo_spool/spool)

Needs sox, lame and our own yEnc encoder (build the harbeat-yenc target; its path is taken from
$HARBEAT_YENC, default build/bin/harbeat-yenc). The output is committed; run this again only to
change the demo.
"""

import base64
import binascii
import datetime
import email.utils
import os
import random
import shutil
import subprocess
import sys
import tempfile

GROUPS = [
    # name, category it maps to, created (UTC), posting, first article number
    ("alt.binaries.sounds.mp3", "assorted", "1997-03-01", "y", 5001),
    ("alt.binaries.sounds.mp3.1990s", "1990s", "1998-06-12", "y", 120001),
    ("alt.binaries.sounds.mp3.1980s", "1980s", "1998-06-12", "y", 88001),
    ("alt.binaries.sounds.mp3.jazz", "jazz", "1998-09-01", "y", 30001),
    ("alt.binaries.music.heavy-metal", "heavy metal", "1999-01-15", "y", 7001),
    ("alt.binaries.sounds.mp3.bootlegs", "rare", "1999-02-20", "y", 15001),
    ("alt.binaries.sounds.mp3.classical", "classical", "1998-11-05", "y", 21001),
    ("alt.binaries.sounds.radio.oldtime", "oldtime radio", "1997-08-30", "y", 64001),
    ("alt.binaries.sounds.mp3.requests", None, "1998-06-12", "y", 1),
    ("alt.binaries.pictures.album-covers", None, "1998-01-01", "y", 1001),
    ("alt.music.discussion", None, "1996-05-05", "y", 1),
]

FIRST = ["Velvet", "Neon", "Midnight", "Silver", "Crimson", "Electric", "Paper", "Golden", "Hollow",
         "Static", "Lunar", "Copper", "Wild", "Quiet", "Iron", "Blue", "Northern", "Glass"]
SECOND = ["Harbor", "Foxes", "Engines", "Lanterns", "Pilots", "Orchard", "Satellites", "Rivers",
          "Sparrows", "Machines", "Tides", "Canyons", "Ghosts", "Gardens", "Signals", "Comets"]
WORDS = ["Summer", "Rain", "Highway", "Heart", "Dancing", "Dreams", "Fire", "Night", "Ocean",
         "Stars", "Running", "Home", "Letters", "Shadow", "City", "Morning", "Echo", "Radio",
         "Tonight", "Forever", "Window", "Thunder", "Sugar", "Velvet", "Mirror", "Gravity"]
COMPOSERS = ["J. Marlowe", "A. Castellan", "E. Varga", "L. Brandt", "M. Okonkwo", "S. Lindqvist"]
FORMS = ["Sonata in %s", "Nocturne in %s", "Prelude in %s", "Concerto in %s, 2nd Mvt",
         "Etude in %s", "Serenade in %s"]
KEYS = ["C Minor", "D Major", "E-flat Major", "F-sharp Minor", "G Major", "A Minor", "B-flat Major"]
SHOWS = ["The Shadowed Lantern", "Captain Meridian", "Mystery Hour", "The Lone Prairie",
         "Detective Halloway", "Theatre of the Air", "The Whistling Stranger"]
PREFIXES = ["", "", "", "", "REQ: ", "[repost] ", "Repost: ", "attn: ", "FILLED: ", "new: "]

SCALE = [261.63, 293.66, 329.63, 349.23, 392.00, 440.00, 493.88, 523.25, 587.33, 659.25]


def song_titles(category, rng, count):
    titles = set()
    while len(titles) < count:
        if category == "classical":
            title = "%s - %s" % (rng.choice(COMPOSERS), rng.choice(FORMS) % rng.choice(KEYS))
        elif category == "oldtime radio":
            title = "%s - Episode %d (%d)" % (rng.choice(SHOWS), rng.randint(1, 240),
                                             rng.randint(1937, 1954))
        else:
            artist = "%s %s" % (rng.choice(FIRST), rng.choice(SECOND))
            words = rng.sample(WORDS, rng.randint(1, 3))
            title = "%s - %s" % (artist, " ".join(words))
            if category == "rare":
                title += " (Live %d)" % rng.randint(1969, 1999)
        titles.add(title)
    return sorted(titles)


def make_clip(work, index, title, artist, rng):
    """A tune of eight notes, about two and a half seconds, as a 32 kbit/s mono MP3."""
    wav = os.path.join(work, "clip%d.wav" % index)
    mp3 = os.path.join(work, "clip%d.mp3" % index)
    notes = [rng.choice(SCALE) * rng.choice([0.5, 1, 1]) for _ in range(8)]
    parts = []
    for n, freq in enumerate(notes):
        part = os.path.join(work, "note%d_%d.wav" % (index, n))
        subprocess.run(["sox", "-n", "-r", "22050", "-c", "1", part, "synth", "0.3", "pluck",
                        "%.2f" % freq, "fade", "0", "0.3", "0.05"], check=True)
        parts.append(part)
    subprocess.run(["sox"] + parts + [wav, "gain", "-n", "-3"], check=True)
    subprocess.run(["lame", "--quiet", "-m", "m", "-b", "32", "--tt", title, "--ta", artist,
                    "--tc", "Harbeat demo clip", wav, mp3], check=True)
    with open(mp3, "rb") as f:
        data = f.read()
    for p in parts + [wav, mp3]:
        os.remove(p)
    return data


def uuencode_lines(data):
    lines = []
    for i in range(0, len(data), 45):
        lines.append(binascii.b2a_uu(data[i:i + 45], backtick=True).decode("ascii").rstrip("\n"))
    return lines


def header(group, subject, author, date, message_id, extra=()):
    lines = ["From: %s" % author, "Newsgroups: %s" % group, "Subject: %s" % subject,
             "Date: %s" % date, "Message-ID: %s" % message_id, "Path: demo!not-for-mail",
             "Organization: Harbeat demo spool"]
    lines.extend(extra)
    return lines


def article(head, body):
    return "\r\n".join(head) + "\r\n\r\n" + "\r\n".join(body) + "\r\n"


class Spool:
    def __init__(self, folder):
        self.folder = folder
        self.counters = {}
        self.serial = 0

    def write(self, group, text):
        """Writes one article: text, or bytes (a yEnc body is 8-bit data)."""
        n = self.counters.get(group, 0) + 1
        self.counters[group] = n
        path = os.path.join(self.folder, group, "%04d.txt" % n)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(text if isinstance(text, bytes) else text.encode("utf-8"))

    def message_id(self, tag):
        self.serial += 1
        return "<demo.%s.%d@harbeat.example>" % (tag, self.serial)


def post_uuencoded(spool, group, subject_base, filename, data, parts, bracket, date, author,
                   missing=None):
    lines = ["begin 644 %s" % filename] + uuencode_lines(data) + ["`", "end"]
    per_part = (len(lines) + parts - 1) // parts
    open_b, close_b = ("[", "]") if bracket else ("(", ")")
    for n in range(1, parts + 1):
        body = lines[(n - 1) * per_part:n * per_part]
        if n == missing:
            continue
        subject = "%s %s%d/%d%s" % (subject_base, open_b, n, parts, close_b)
        mid = spool.message_id("uu")
        spool.write(group, article(header(group, subject, author, date, mid), body))


# The subjects yEnc posters write: the quoted file name, a set counter and the size, or the
# part marker before the word yEnc.
YENC_SUBJECTS = ['"%(name)s" yEnc (%(n)d/%(m)d)',
                 '[1/1] - "%(name)s" yEnc (%(n)02d/%(m)02d) %(size)d',
                 '%(name)s (%(n)d/%(m)d) yEnc']


def yenc_encoder():
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "bin",
                           "harbeat-yenc")
    return os.environ.get("HARBEAT_YENC", default)


def yenc_bodies(filename, data, parts):
    """The part bodies of our own encoder (tools/yenc), as bytes."""
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "song.bin")
        with open(source, "wb") as f:
            f.write(data)
        subprocess.run([yenc_encoder(), source, filename, str(parts), os.path.join(work, "body")],
                       check=True)
        bodies = []
        for n in range(1, parts + 1):
            with open(os.path.join(work, "body.%d" % n), "rb") as f:
                bodies.append(f.read())
        return bodies


def post_yenc(spool, group, prefix, form, filename, data, parts, date, author, missing=None):
    for n, body in enumerate(yenc_bodies(filename, data, parts), start=1):
        if n == missing:
            continue
        subject = prefix + YENC_SUBJECTS[form] % {"name": filename, "n": n, "m": parts,
                                                   "size": len(data)}
        head = "\r\n".join(header(group, subject, author, date, spool.message_id("yenc")))
        spool.write(group, head.encode("utf-8") + b"\r\n\r\n" + body)


def post_mime(spool, group, subject, filename, data, date, author):
    boundary = "----=_NextPart_000_%08X" % (spool.serial * 7919 & 0xFFFFFFFF)
    encoded = base64.b64encode(data).decode("ascii")
    b64_lines = [encoded[i:i + 76] for i in range(0, len(encoded), 76)]
    body = ["This is a multi-part message in MIME format.", "", "--" + boundary,
            "Content-Type: text/plain; charset=us-ascii", "Content-Transfer-Encoding: 7bit", "",
            "Enjoy! Posted for the group.", "", "--" + boundary,
            'Content-Type: audio/mpeg; name="%s"' % filename,
            "Content-Transfer-Encoding: base64",
            'Content-Disposition: attachment; filename="%s"' % filename, ""] + b64_lines + [
            "", "--" + boundary + "--"]
    head = header(group, subject, author, date, spool.message_id("mime"),
                  ["MIME-Version: 1.0",
                   'Content-Type: multipart/mixed; boundary="%s"' % boundary])
    spool.write(group, article(head, body))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "spool")
    out = os.path.abspath(out)
    if os.path.isdir(out):
        shutil.rmtree(out)
    os.makedirs(out)
    rng = random.Random(2000)
    with open(os.path.join(out, "groups"), "w") as f:
        f.write("# name  created  posting  first-number  description\n")
        for name, category, created, posting, first in GROUPS:
            f.write("%s %s %s %d %s\n" % (name, created, posting, first,
                                           "Harbeat demo: " + (category or "other")))

    spool = Spool(out)
    authors = ["mp3fan@example.net (Tunes)", "poster@example.org", "vinyl@example.com (Vinyl Joe)",
               "nightowl@example.net"]
    songs = 0
    with tempfile.TemporaryDirectory() as work:
        for group, category, _, _, _ in GROUPS:
            if category is None:
                continue
            for k, title in enumerate(song_titles(category, rng, 20)):
                artist = title.split(" - ")[0]
                data = make_clip(work, songs, title, artist, rng)
                filename = title + ".mp3"
                date = email.utils.format_datetime(datetime.datetime(
                    1999 + k % 3, 1 + (k * 5) % 12, 1 + (k * 7) % 28, (k * 3) % 24, (k * 11) % 60,
                    (k * 13) % 60, tzinfo=datetime.timezone.utc), usegmt=True)
                author = authors[k % len(authors)]
                prefix = rng.choice(PREFIXES)
                if k % 5 == 4:
                    post_mime(spool, group, "%s%s (1/1)" % (prefix, filename), filename, data,
                              date, author)
                elif k % 5 == 2:
                    missing = 2 if k == 7 else None  # one yEnc song never arrives whole
                    post_yenc(spool, group, prefix, (k // 5) % len(YENC_SUBJECTS), filename, data,
                              4, date, author, missing=missing)
                else:
                    parts = 2 + (k % 5)
                    missing = 2 if k in (7, 13) else None  # a few songs never arrive whole
                    post_uuencoded(spool, group, prefix + filename, filename, data, parts,
                                   bracket=(k % 2 == 1), date=date, author=author,
                                   missing=missing)
                songs += 1
            # Posts that are not songs.
            spool.write(group, article(header(group, "Looking for anything by %s" %
                                              rng.choice(FIRST), authors[0], "Tue, 02 Mar 1999 10:00:00 GMT",
                                              spool.message_id("text")),
                                       ["Does anyone have more of this?", "", "Thanks!"]))
            cover = bytes(rng.getrandbits(8) for _ in range(600))
            post_uuencoded(spool, group, "Album cover.jpg", "cover.jpg", cover, 1, False,
                           "Wed, 03 Mar 1999 09:30:00 GMT", authors[1])
    spool.write("alt.binaries.sounds.mp3.requests", article(
        header("alt.binaries.sounds.mp3.requests", "REQ: anything from 1994", authors[2],
               "Thu, 04 Mar 1999 20:15:00 GMT", spool.message_id("req")),
        ["Looking for songs from 1994, any style.", "", "Thanks"]))
    print("wrote %d songs into %s" % (songs, out))


if __name__ == "__main__":
    main()
