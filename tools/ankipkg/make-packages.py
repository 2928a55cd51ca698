#!/usr/bin/env python3
"""Writes the Anki packages the tests and examples use, and beside each the
"Notes in Plain Text" export of the same notes, as Anki writes it (notetype
and deck columns, HTML kept).

    python3 tools/ankipkg/make-packages.py OUTDIR

Made from nothing but Python's sqlite3 and zipfile and the zstd program:
the collections are laid out as the schemas 11 (table col, JSON note types
and decks) and 18 (tables notetypes, fields, decks) say. Also writes the
damaged packages that kvzdeck must refuse (OUTDIR/bad/). The output is the
same on every run, so the committed files can be checked against it.
"""
import json
import os
import sqlite3
import subprocess
import sys
import tempfile
import zipfile

SEP = "\x1f"
# A zip entry's time, the same on every run.
STAMP = (2024, 1, 1, 0, 0, 0)


# ----------------------------------------------------------------- the notes

BASIC = {"id": 1700000000001, "name": "Japanese (recognition)", "fields": ["Expression", "Meaning", "Reading"]}
VOCAB = {"id": 1700000000002, "name": "Vocab", "fields": ["Word", "Kana", "English", "Example", "Level"]}
CLOZE = {"id": 1700000000003, "name": "Cloze", "fields": ["Text", "Back Extra"]}

DECKS = {1: "Default", 1700000000101: "日本語", 1700000000102: "日本語::第1課", 1700000000103: "日本語::第2課",
         1700000000104: "Kanji", 1700000000105: "Kanji::とても長いデッキの名前です"}


def words_notes():
    """(note id, note type, [fields], [(card ord, deck id)]) in no order of id."""
    return [
        (1700000001003, BASIC, ["<div>犬</div>", "dog&nbsp;(animal)", "いぬ"], [(0, 1700000000102)]),
        (1700000001001, BASIC, ["猫[ねこ]", "cat<br>[sound:neko.mp3]", "ねこ"], [(0, 1700000000102)]),
        (1700000001002, BASIC, ["食べる[たべる]<br>飲[の]む", "to eat<img src=\"eat.jpg\">, to drink", "たべる"],
         [(1, 1700000000103), (0, 1700000000103)]),
        (1700000001004, BASIC, ["<b>学校</b>", "school\n(a \"place\")", "がっこう"],
         # The card of ord 0 comes second in the table: it names the deck.
         [(1, 1700000000102), (0, 1700000000103)]),
        (1700000001005, BASIC, ["先生", "teacher &amp; master", "せんせい"], [(0, 1700000000103)]),
    ]


def collection_notes():
    notes = words_notes()
    notes += [
        (1700000002001, VOCAB, ["山", "やま", "mountain", "富士[ふじ] 山[さん]は 高[たか]い。", "N5"], [(0, 1700000000104)]),
        (1700000002002, VOCAB, ["川", "かわ", "river", "川[かわ]で 泳[およ]ぐ。", "N5"], [(0, 1700000000105)]),
        (1700000003001, CLOZE, ["{{c1::東京::city}}は日本の首都です", "capital"], [(0, 1700000000104)]),
        (1700000003002, CLOZE, ["{{c1::富士山}}は{{c2::3776}}mです", ""], [(0, 1700000000105), (1, 1700000000101)]),
    ]
    return notes


# ----------------------------------------------------------------- schema 11

SCHEMA11 = """
CREATE TABLE col (id integer primary key, crt integer not null, mod integer not null, scm integer not null,
  ver integer not null, dty integer not null, usn integer not null, ls integer not null, conf text not null,
  models text not null, decks text not null, dconf text not null, tags text not null);
CREATE TABLE notes (id integer primary key, guid text not null, mid integer not null, mod integer not null,
  usn integer not null, tags text not null, flds text not null, sfld integer not null, csum integer not null,
  flags integer not null, data text not null);
CREATE TABLE cards (id integer primary key, nid integer not null, did integer not null, ord integer not null,
  mod integer not null, usn integer not null, type integer not null, queue integer not null, due integer not null,
  ivl integer not null, factor integer not null, reps integer not null, lapses integer not null,
  left integer not null, odue integer not null, odid integer not null, flags integer not null, data text not null);
CREATE TABLE revlog (id integer primary key, cid integer not null, usn integer not null, ease integer not null,
  ivl integer not null, lastIvl integer not null, factor integer not null, time integer not null,
  type integer not null);
CREATE TABLE graves (usn integer not null, oid integer not null, type integer not null);
CREATE INDEX ix_notes_usn on notes (usn);
CREATE INDEX ix_cards_usn on cards (usn);
CREATE INDEX ix_revlog_usn on revlog (usn);
CREATE INDEX ix_cards_nid on cards (nid);
CREATE INDEX ix_cards_sched on cards (did, queue, due);
CREATE INDEX ix_revlog_cid on revlog (cid);
CREATE INDEX ix_notes_csum on notes (csum);
"""


def fill_notes(db, notes):
    card_id = 1700000009000
    for nid, kind, fields, cards in notes:
        db.execute("INSERT INTO notes VALUES (?, ?, ?, 0, -1, '', ?, ?, 0, 0, '')",
                   (nid, "g%d" % nid, kind["id"], SEP.join(fields), fields[0]))
        for ord_, did in cards:
            card_id += 1
            db.execute("INSERT INTO cards VALUES (?, ?, ?, ?, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '')",
                       (card_id, nid, did, ord_))


def schema11_database(path, kinds, decks, notes):
    db = sqlite3.connect(path)
    db.executescript(SCHEMA11)
    models = {str(k["id"]): {"id": k["id"], "name": k["name"], "type": 1 if k is CLOZE else 0,
                             "flds": [{"name": f, "ord": i} for i, f in enumerate(k["fields"])]}
              for k in kinds}
    deck_json = {str(i): {"id": i, "name": n} for i, n in decks.items()}
    db.execute("INSERT INTO col VALUES (1, 0, 0, 0, 11, 0, 0, 0, '{}', ?, ?, '{}', '{}')",
               (json.dumps(models, ensure_ascii=False), json.dumps(deck_json, ensure_ascii=False)))
    fill_notes(db, notes)
    db.commit()
    db.close()


# ----------------------------------------------------------------- schema 18

SCHEMA18 = """
CREATE TABLE col (id integer primary key, crt integer not null, mod integer not null, scm integer not null,
  ver integer not null, dty integer not null, usn integer not null, ls integer not null, conf text not null,
  models text not null, decks text not null, dconf text not null, tags text not null);
CREATE TABLE notetypes (id integer not null primary key, name text not null, mtime_secs integer not null,
  usn integer not null, config blob not null);
CREATE TABLE fields (ntid integer not null, ord integer not null, name text not null, config blob not null,
  PRIMARY KEY (ntid, ord)) without rowid;
CREATE TABLE templates (ntid integer not null, ord integer not null, name text not null,
  mtime_secs integer not null, usn integer not null, config blob not null, PRIMARY KEY (ntid, ord)) without rowid;
CREATE TABLE decks (id integer primary key not null, name text not null, mtime_secs integer not null,
  usn integer not null, common blob not null, kind blob not null);
CREATE TABLE config (KEY text not null primary key, usn integer not null, mtime_secs integer not null,
  val blob not null) without rowid;
CREATE TABLE tags (tag text not null primary key collate unicase, usn integer not null,
  collapsed boolean not null, config blob null) without rowid;
"""


def schema18_database(path, kinds, decks, notes):
    db = sqlite3.connect(path)
    db.create_collation("unicase", lambda a, b: (a.lower() > b.lower()) - (a.lower() < b.lower()))
    db.executescript(SCHEMA18.replace(" collate unicase", ""))
    db.executescript(SCHEMA11.split("CREATE TABLE notes", 1)[1].join(["CREATE TABLE notes", ""]))
    db.execute("INSERT INTO col VALUES (1, 0, 0, 0, 18, 0, 0, 0, '', '', '', '', '')")
    for k in kinds:
        db.execute("INSERT INTO notetypes VALUES (?, ?, 0, 0, x'')", (k["id"], k["name"]))
        for i, f in enumerate(k["fields"]):
            db.execute("INSERT INTO fields VALUES (?, ?, ?, x'')", (k["id"], i, f))
    for i, n in decks.items():
        db.execute("INSERT INTO decks VALUES (?, ?, 0, 0, x'', x'')", (i, n.replace("::", SEP)))
    fill_notes(db, notes)
    db.commit()
    db.close()


# ----------------------------------------------------------------- exports and packages

def export_cell(text):
    if any(c in text for c in "\t\n\r\"") or text.startswith("#"):
        return '"' + text.replace('"', '""') + '"'
    return text


def plain_text_export(path, decks, notes):
    """The notes as Anki's "Notes in Plain Text" writes them, by note id."""
    lines = ["#separator:tab", "#html:true", "#notetype column:1", "#deck column:2"]
    for nid, kind, fields, cards in sorted(notes, key=lambda n: n[0]):
        deck = decks[min(cards)[1]]
        lines.append("\t".join(export_cell(c) for c in [kind["name"], deck] + fields))
    with open(path, "w", encoding="utf-8", newline="") as out:
        out.write("\n".join(lines) + "\n")


def zstd(data):
    return subprocess.run(["zstd", "-q", "-19", "-c", "--no-check"], input=data, check=True,
                          stdout=subprocess.PIPE).stdout


def database_bytes(make, *args):
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "collection")
        make(path, *args)
        with open(path, "rb") as db:
            return db.read()


def write_zip(path, entries):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, STAMP)
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data)


def placeholder():
    note = [(1700000000500, BASIC, ["Please update to the latest Anki version, then import the .colpkg/.apkg "
                                    "file again.", "", ""], [(0, 1)])]
    return database_bytes(schema11_database, [BASIC], {1: "Default"}, note)


def good_packages(out):
    words = words_notes()
    word_decks = {i: n for i, n in DECKS.items() if i in (1, 1700000000101, 1700000000102, 1700000000103)}
    write_zip(os.path.join(out, "words-11.apkg"),
              [("collection.anki2", database_bytes(schema11_database, [BASIC], word_decks, words)),
               ("media", b"{}")])
    plain_text_export(os.path.join(out, "words-11.txt"), DECKS, words)
    write_zip(os.path.join(out, "words-18.apkg"),
              [("collection.anki2", placeholder()),
               ("collection.anki21b", zstd(database_bytes(schema18_database, [BASIC], word_decks, words))),
               ("media", zstd(b"")), ("meta", b"\x08\x03")])
    plain_text_export(os.path.join(out, "words-18.txt"), DECKS, words)
    everything = collection_notes()
    write_zip(os.path.join(out, "collection.colpkg"),
              [("collection.anki2", placeholder()),
               ("collection.anki21", database_bytes(schema11_database, [BASIC, VOCAB, CLOZE], DECKS, everything)),
               ("media", b"{}")])
    plain_text_export(os.path.join(out, "collection.txt"), DECKS, everything)


# ----------------------------------------------------------------- damaged packages

def failing_integrity():
    """A collection whose index holds other values than its table: SQLite's
    integrity check finds rows missing from the index."""
    def make(path):
        schema11_database(path, [BASIC], {1: "Default"}, words_notes())
        db = sqlite3.connect(path)
        db.execute("PRAGMA writable_schema = ON")
        db.execute("UPDATE sqlite_master SET sql = 'CREATE INDEX ix_cards_nid on cards (ord)' "
                   "WHERE name = 'ix_cards_nid'")
        db.commit()
        db.close()
    return database_bytes(make)


def declared_size(data, name, size):
    """The zip with the expanded size of entry `name` declared as `size`, in
    its local header and the central directory: an entry that claims to
    expand that far, as a zip bomb's does."""
    data = bytearray(data)
    encoded = name.encode()
    for signature, size_at, name_at in ((b"PK\x03\x04", 22, 30), (b"PK\x01\x02", 24, 46)):
        at = data.find(signature)
        while at >= 0:
            if data[at + name_at:at + name_at + len(encoded)] == encoded:
                data[at + size_at:at + size_at + 4] = size.to_bytes(4, "little")
            at = data.find(signature, at + 4)
    return bytes(data)


def bad_packages(out):
    os.makedirs(out, exist_ok=True)
    words = words_notes()
    good = database_bytes(schema11_database, [BASIC], DECKS, words)
    with open(os.path.join(out, "not-a-zip.apkg"), "wb") as f:
        f.write("#separator:tab\n#html:true\n猫\tcat\n".encode())
    write_zip(os.path.join(out, "no-collection.apkg"), [("media", b"{}"), ("0", b"\xff\xd8")])
    write_zip(os.path.join(out, "not-sqlite.apkg"), [("collection.anki2", b"not a database at all\n" * 10)])
    unknown = database_bytes(lambda p: sqlite3.connect(p).executescript("CREATE TABLE words (a, b);"))
    write_zip(os.path.join(out, "unknown-schema.apkg"), [("collection.anki2", unknown)])
    write_zip(os.path.join(out, "bad-zstd.apkg"),
              [("collection.anki2", placeholder()), ("collection.anki21b", zstd(good)[:-40])])
    bomb = os.path.join(out, "bomb.apkg")
    write_zip(bomb, [("collection.anki2", good)])
    with open(bomb, "rb") as f:
        claimed = declared_size(f.read(), "collection.anki2", 0x7FFFFFFF)
    with open(bomb, "wb") as f:
        f.write(claimed)
    # A frame of 600 MiB of zero bytes in 1.5 KB, its size declared in its header.
    frame = subprocess.run(["zstd", "-q", "-3", "-c", "--stream-size=%d" % (600 << 20)], input=bytes(600 << 20),
                           check=True, stdout=subprocess.PIPE).stdout
    write_zip(os.path.join(out, "zstd-bomb.apkg"),
              [("collection.anki2", placeholder()), ("collection.anki21b", frame)])
    write_zip(os.path.join(out, "dot-dot.apkg"), [("collection.anki2", good), ("../../escape.txt", b"x")])
    write_zip(os.path.join(out, "absolute.apkg"), [("collection.anki2", good), ("/etc/escape", b"x")])
    write_zip(os.path.join(out, "integrity.apkg"), [("collection.anki2", failing_integrity())])


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-packages.py OUTDIR")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    good_packages(out)
    bad_packages(os.path.join(out, "bad"))


if __name__ == "__main__":
    main()
