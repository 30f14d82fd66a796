#!/usr/bin/env python3
"""Reads an exported CSV file or XML datapacket back and compares it, cell for cell, with what the
database itself holds.

The file is read with Python's csv module or xml.etree.ElementTree (plus xmllint); the database is
read with Python's sqlite3 module (SQLite) or psql (PostgreSQL). Neither reader shares code with the
program that wrote the file, so a fault in the writer or in the program's value rendering shows as a
difference. Prints one JSON object: {"rows": n, "columns": [...], "errors": [...], "errorCount": k}.

Usage (or --serve: one JSON array of these arguments a line on stdin, one answer a line):
  readback.py --format csv --file F --names 0|1 --sqlite DB --sql SQL [--types-of TABLE]
  readback.py --format xml --file F --mime 0|1 --pg DBNAME --sql SQL
Helpers for the tests: --cells CSVFILE (the cells as JSON), --tables SQLITEDB (tables and views with
their order, as JSON), --load-packages SQLITEDB (adds the package list; exit code 3 without one).
"""

import argparse
import base64
import binascii
import csv
import decimal
import json
import math
import os
import re
import sqlite3
import subprocess
import sys
import xml.etree.ElementTree as ET

MAX_REPORTED = 25
INTEGER_TEXT = re.compile(rb'^[+-]?[0-9]+$')
PLAIN_DECIMAL = re.compile(rb'^[+-]?[0-9]+(\.[0-9]+)?$')
FLOAT_TEXT = re.compile(rb'^[+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+-]?[0-9]+)?$')


class Cell:
    """A value as the database holds it: its class ('null', 'integer', 'real', 'text', 'blob',
    'decimal', 'instant', 'bool'), the value, and the kind of column it sits in."""

    def __init__(self, cls, value, kind, instant_ms=None):
        self.cls = cls
        self.value = value
        self.kind = kind
        self.instant_ms = instant_ms

    def describe(self):
        if self.cls == 'null':
            return 'NULL'
        if self.instant_ms is not None:
            return '%s %r (instant %d ms)' % (self.cls, self.value, self.instant_ms)
        return '%s %r' % (self.cls, self.value)


# ---- the oracle: SQLite -------------------------------------------------------------------------

_jd = sqlite3.connect(':memory:')


def sqlite_instant_ms(value, numeric):
    """The instant SQLite's own julianday() reads from a value, in whole milliseconds, or None."""
    try:
        if numeric:
            row = _jd.execute("SELECT julianday(?, 'auto')", (value,)).fetchone()
        else:
            if isinstance(value, bytes):
                value = value.decode('utf-8')
            row = _jd.execute('SELECT julianday(?)', (value,)).fetchone()
    except (UnicodeDecodeError, sqlite3.Error, OverflowError):
        return None
    if row is None or row[0] is None:
        return None
    return int(round(row[0] * 86400000.0))


def sqlite_text_instant_ms(text):
    """The instant of an exported text: a number as SQLite reads a numeric time value (a Julian
    day, or Unix time when larger), anything else as julianday() reads text."""
    if FLOAT_TEXT.match(text):
        return sqlite_instant_ms(float(text), True)
    return sqlite_instant_ms(text, False)


def sqlite_kind(declared):
    """The comparison kind of a SQLite column from its declared type, by SQLite's affinity rules with
    the date, time and boolean names the program reads as such."""
    t = ' '.join((declared or '').upper().split())
    base = t.split('(')[0].strip()
    if base in ('DATE',):
        return 'date'
    if base in ('TIME',):
        return 'time'
    if base in ('DATETIME', 'TIMESTAMP'):
        return 'datetime'
    if base in ('BOOLEAN', 'BOOL'):
        return 'bool'
    if 'INT' in t:
        return 'integer'
    if 'CHAR' in t or 'CLOB' in t or 'TEXT' in t:
        return 'text'
    if 'BLOB' in t or t == '':
        return 'none'
    if 'REAL' in t or 'FLOA' in t or 'DOUB' in t:
        return 'real'
    return 'decimal'


def sqlite_oracle(db, sql, types_of):
    con = sqlite3.connect('file:%s?mode=ro' % db, uri=True)
    con.text_factory = bytes
    names = [d[0] for d in con.execute(sql).description]
    declared = {}
    if types_of:
        for row in con.execute('SELECT name, type FROM pragma_table_info(?)', (types_of,)):
            declared[row[0].decode('utf-8')] = row[1].decode('utf-8')
    kinds = [sqlite_kind(declared.get(n, '')) for n in names]
    rows = []
    raw = con.execute(sql).fetchall()
    # typeof() tells text from blob, which both arrive as bytes here.
    types = con.execute('SELECT %s FROM (%s)' % (
        ', '.join('typeof("%s")' % n.replace('"', '""') for n in names), sql)).fetchall()
    for values, classes in zip(raw, types):
        out = []
        for value, cls, kind in zip(values, classes, kinds):
            cls = cls.decode('ascii')
            if cls == 'null':
                out.append(Cell('null', None, kind))
                continue
            instant = None
            if kind in ('date', 'time', 'datetime') and cls in ('integer', 'real', 'text'):
                instant = sqlite_instant_ms(value, cls != 'text')
            out.append(Cell(cls, value, kind, instant))
        rows.append(out)
    return names, rows


# ---- the oracle: PostgreSQL through psql --------------------------------------------------------

def psql_env(database):
    env = dict(os.environ)
    env.update({
        'PGHOST': os.environ.get('KESTREL_TEST_PGHOST', ''),
        'PGPORT': os.environ.get('KESTREL_TEST_PGPORT', ''),
        'PGUSER': os.environ.get('KESTREL_TEST_PGUSER', ''),
        'PGPASSWORD': os.environ.get('KESTREL_TEST_PGPASSWORD', ''),
        'PGDATABASE': database,
        'PGTZ': 'UTC',
        'PGCLIENTENCODING': 'UTF8',
    })
    return env


def psql(database, script):
    p = subprocess.run(['psql', '-X', '-q', '-v', 'ON_ERROR_STOP=1', '-A', '-t', '-F', '\x1f'],
                       input=script.encode('utf-8'), capture_output=True, env=psql_env(database), timeout=60)
    if p.returncode != 0:
        raise RuntimeError('psql failed: ' + p.stderr.decode('utf-8', 'replace'))
    return p.stdout.decode('utf-8', 'surrogateescape')


def pg_kind(typename):
    t = typename.split('(')[0].strip()
    return {
        'smallint': 'integer', 'integer': 'integer', 'bigint': 'integer',
        'numeric': 'decimal', 'double precision': 'real', 'real': 'real',
        'text': 'text', 'character varying': 'text', 'character': 'text', 'uuid': 'text',
        'bytea': 'blob', 'boolean': 'bool', 'date': 'date',
        'timestamp without time zone': 'datetime', 'timestamp with time zone': 'datetime',
        'time without time zone': 'time',
    }.get(t, 'text')


def pg_literal(text):
    return "'" + text.replace("'", "''") + "'"


def pg_oracle(database, sql):
    desc = [line.split('\x1f') for line in psql(database, sql.rstrip().rstrip(';') + ' \\gdesc\n').splitlines() if line]
    names = [d[0] for d in desc]
    types = [d[1] for d in desc]
    exprs = []
    for i, t in enumerate(types):
        col = 'q.%s' % ('"' + names[i].replace('"', '""') + '"')
        kind = pg_kind(t)
        if kind == 'blob':
            text = "encode(%s, 'hex')" % col
        elif kind in ('date', 'datetime', 'time'):
            text = 'extract(epoch from %s)::text' % col
        else:
            text = "format('%%s', %s)" % col  # the type's own output: char(n) keeps its padding
        exprs.append("CASE WHEN %s IS NULL THEN 'N' ELSE 'V' || %s END" % (col, text))
    out = psql(database, 'COPY (SELECT %s FROM (%s) AS q) TO STDOUT WITH (FORMAT csv);\n' % (
        ', '.join(exprs), sql.rstrip().rstrip(';')))
    rows = []
    for record in csv.reader(out.splitlines(keepends=True)):
        cells = []
        for value, t in zip(record, types):
            kind = pg_kind(t)
            if value == 'N':
                cells.append(Cell('null', None, kind))
                continue
            v = value[1:].encode('utf-8', 'surrogateescape')
            if kind == 'integer':
                cells.append(Cell('integer', int(v), kind))
            elif kind == 'decimal':
                cells.append(Cell('decimal', v, kind))
            elif kind == 'real':
                s = v.decode()
                special = {'Infinity': math.inf, '-Infinity': -math.inf, 'NaN': math.nan}
                cells.append(Cell('real', special[s] if s in special else float(s), kind))
            elif kind == 'blob':
                cells.append(Cell('blob', bytes.fromhex(v.decode()), kind))
            elif kind == 'bool':
                cells.append(Cell('bool', v == b't', kind))
            elif kind in ('date', 'datetime', 'time'):
                ms = int((decimal.Decimal(v.decode()) * 1000).to_integral_value(decimal.ROUND_HALF_EVEN))
                cells.append(Cell('instant', v, kind, ms))
            else:
                cells.append(Cell('text', v, kind))
        rows.append(cells)
    return names, rows, types


def pg_instants(database, requests):
    """PostgreSQL's own reading of exported texts as the column's type: {index: ms or None}."""
    if not requests:
        return {}
    values = []
    for i, (text, typename) in enumerate(requests):
        try:
            s = text.decode('utf-8')
        except UnicodeDecodeError:
            continue
        if '\x00' in s:
            continue
        values.append('(%d, %s, %s)' % (i, pg_literal(s), pg_literal(typename)))
    if not values:
        return {}
    script = ("CREATE FUNCTION pg_temp.epoch_of(t text, typ text) RETURNS numeric LANGUAGE plpgsql AS $f$\n"
              "DECLARE r numeric;\nBEGIN\n"
              "  EXECUTE format('SELECT extract(epoch from %%L::%%s)', t, typ) INTO r;\n  RETURN r;\n"
              "EXCEPTION WHEN others THEN RETURN NULL;\nEND $f$;\n"
              "SELECT i, pg_temp.epoch_of(t, typ) FROM (VALUES %s) AS v(i, t, typ);\n") % ', '.join(values)
    result = {}
    for line in psql(database, script).splitlines():
        if not line:
            continue
        i, epoch = line.split('\x1f')
        result[int(i)] = None if epoch == '' else int(
            (decimal.Decimal(epoch) * 1000).to_integral_value(decimal.ROUND_HALF_EVEN))
    return result


# ---- reading the exported file ------------------------------------------------------------------

def read_csv(path, names_expected, names, errors):
    with open(path, encoding='utf-8', errors='surrogateescape', newline='') as f:
        rows = [[c.encode('utf-8', 'surrogateescape') for c in r] for r in csv.reader(f)]
    if names_expected:
        if not rows:
            errors.append('no header line')
            return []
        header = [c.decode('utf-8', 'surrogateescape') for c in rows[0]]
        if header != names:
            errors.append('header %r, expected %r' % (header, names))
        rows = rows[1:]
    return rows


STRING_TYPES = ('string', 'fixedchar', 'guid')


def read_xml(path, mime, names, errors):
    lint = subprocess.run(['xmllint', '--noout', '--huge', path], capture_output=True, timeout=60)
    if lint.returncode != 0:
        errors.append('xmllint rejects the datapacket: ' + lint.stderr.decode('utf-8', 'replace')[:400])
    try:
        root = ET.parse(path).getroot()
    except ET.ParseError as e:
        errors.append('not well-formed XML: %s' % e)
        return []
    if root.tag != 'datapacket':
        errors.append('root element %r' % root.tag)
    defs = root.findall('./metadata/fielddefs/fielddef')
    def_names = [d.get('name') for d in defs]
    if def_names != names:
        errors.append('fielddefs %r, expected %r' % (def_names, names))
    types = [d.get('datatype') for d in defs]
    recorddata = root.find('./recorddata')
    rows = []
    if recorddata is None:
        errors.append('no recorddata')
        return rows
    xml_rows = recorddata.findall('./row')
    if recorddata.get('count') != str(len(xml_rows)):
        errors.append('recorddata count=%r with %d rows' % (recorddata.get('count'), len(xml_rows)))
    for r, row in enumerate(xml_rows, 1):
        items = row.findall('./field')
        cells = []
        for c, item in enumerate(items):
            name = item.get('name')
            if c < len(def_names) and name != def_names[c]:
                errors.append('row %d item %d is named %r, expected %r' % (r, c + 1, name, def_names[c]))
            datatype = types[c] if c < len(types) else ''
            cells.append(decode_item(item, datatype, mime, '%d/%s' % (r, name), errors))
        rows.append(cells)
    return rows


# The datapacket writes the milliseconds of a time after the time separator ("13:45:10:250").
XML_TIME_MS = re.compile(r'(\d{2}:\d{2}:\d{2}):(\d{3})$')
# A binary value in a number, Boolean or date-time field is written as a hex literal.
HEX_LITERAL = re.compile(r"^x'([0-9a-f]*)'$")


def decode_item(item, datatype, mime, where, errors):
    if 'value' in item.attrib:
        value = item.get('value')
        hex_literal = HEX_LITERAL.match(value)
        if hex_literal:
            return bytes.fromhex(hex_literal.group(1))
        if datatype in ('time', 'datetime', 'date'):
            value = XML_TIME_MS.sub(r'\1.\2', value)
        return value.encode('utf-8')
    size = item.get('size')
    if size == '-1':
        return None
    text = ''.join(item.itertext())
    if datatype not in STRING_TYPES or mime:
        try:
            data = base64.b64decode(''.join(text.split()), validate=True)
        except binascii.Error as e:
            errors.append('%s: not base64 (%s): %r' % (where, e, text[:80]))
            return b''
    elif size == '0':
        data = text.strip('\n').encode('utf-8')
    else:
        # The section sits on lines of its own: a line break before "<![CDATA[" and one after it,
        # and the same before and after "]]>".
        if not (text.startswith('\n\n') and text.endswith('\n\n')):
            errors.append('%s: character data not laid out on lines of its own: %r' % (where, text[:80]))
            data = text.encode('utf-8')
        else:
            data = text[2:-2].encode('utf-8')
    if size is not None and size != str(len(data)):
        errors.append('%s: size=%s but %d bytes' % (where, size, len(data)))
    return data


# ---- comparing ----------------------------------------------------------------------------------

def truth(v):
    if isinstance(v, bool):
        return v
    if isinstance(v, int):
        return v != 0
    if isinstance(v, bytes):
        low = v.strip().lower()
        if low in (b'true', b'1'):
            return True
        if low in (b'false', b'0'):
            return False
    return None


def same_float(text, v):
    """The exported number reads back as the stored double, or both agree to 15 significant digits."""
    try:
        if float(text) == v:
            return True
        with decimal.localcontext() as ctx:
            ctx.prec = 15
            return +decimal.Decimal(text.decode()) == +decimal.Decimal(v)
    except (ValueError, decimal.InvalidOperation):
        return False


def compare(cell, got, fmt, instant_of):
    """None when the exported form got (bytes, or None for an XML NULL) carries the cell, else why not."""
    if cell.cls == 'null':
        if fmt == 'csv':
            return None if got == b'' else 'expected an empty cell for NULL'
        return None if got is None else 'expected size="-1" for NULL'
    if got is None:
        return 'exported as NULL'
    if cell.cls == 'blob':
        if fmt == 'csv':
            return None if got == b'' else 'expected an empty cell for a BLOB'
        return None if got == cell.value else 'blob bytes differ'
    if cell.instant_ms is not None:
        ms = instant_of(got)
        if ms is None:
            return 'exported text is no date/time the database reads'
        return None if ms == cell.instant_ms else 'a different instant: %d ms apart' % (ms - cell.instant_ms)
    if cell.kind == 'bool':
        expected = truth(cell.value)
        if expected is not None:
            return None if truth(got) == expected else 'boolean %s expected' % expected
    if cell.cls == 'integer':
        if cell.kind == 'decimal':
            if PLAIN_DECIMAL.match(got) and decimal.Decimal(got.decode()) == cell.value:
                return None
            return 'not the exact decimal %d' % cell.value
        if INTEGER_TEXT.match(got) and int(got) == cell.value:
            return None
        return 'not the integer %d' % cell.value
    if cell.cls == 'decimal' or (cell.cls == 'text' and cell.kind == 'decimal' and PLAIN_DECIMAL.match(cell.value)):
        if PLAIN_DECIMAL.match(got) and decimal.Decimal(got.decode()) == decimal.Decimal(cell.value.decode()):
            return None
        return 'not the exact decimal %s' % cell.value.decode()
    if cell.cls == 'real':
        v = cell.value
        if math.isnan(v) or math.isinf(v):
            spelled = b'NAN' if math.isnan(v) else (b'INF' if v > 0 else b'-INF')
            return None if got == spelled else 'expected %s' % spelled.decode()
        if not FLOAT_TEXT.match(got):
            return 'not a number'
        return None if same_float(got, v) else 'not %r at 15 significant digits' % v
    # Text (and text of any other kind): byte for byte.
    return None if got == cell.value else 'text bytes differ'


def run(argv):
    ap = argparse.ArgumentParser()
    ap.add_argument('--format', choices=('csv', 'xml'), required=True)
    ap.add_argument('--file', required=True)
    ap.add_argument('--names', default='0')
    ap.add_argument('--mime', default='0')
    ap.add_argument('--sqlite')
    ap.add_argument('--pg')
    ap.add_argument('--sql', required=True)
    ap.add_argument('--types-of', default='')
    a = ap.parse_args(argv)

    errors = []
    if a.sqlite:
        names, expected = sqlite_oracle(a.sqlite, a.sql, a.types_of)
        pg_types = None
    else:
        names, expected, pg_types = pg_oracle(a.pg, a.sql)

    if a.format == 'csv':
        got_rows = read_csv(a.file, a.names == '1', names, errors)
    else:
        got_rows = read_xml(a.file, a.mime == '1', names, errors)

    if len(got_rows) != len(expected):
        errors.append('%d rows exported, the database has %d' % (len(got_rows), len(expected)))

    # PostgreSQL reads the exported date/time texts in one go.
    pg_ms = {}
    if pg_types is not None:
        requests, index = [], {}
        for r, (cells, got) in enumerate(zip(expected, got_rows)):
            for c, cell in enumerate(cells):
                if cell.instant_ms is not None and c < len(got) and got[c] is not None:
                    index[(r, c)] = len(requests)
                    requests.append((got[c], pg_types[c]))
        answers = pg_instants(a.pg, requests)
        pg_ms = {key: answers.get(i) for key, i in index.items()}

    mismatches = 0
    for r, (cells, got) in enumerate(zip(expected, got_rows)):
        if len(got) != len(cells):
            errors.append('row %d: %d cells, expected %d' % (r + 1, len(got), len(cells)))
            continue
        for c, (cell, g) in enumerate(zip(cells, got)):
            if pg_types is not None:
                instant_of = lambda text, key=(r, c): pg_ms.get(key)
            else:
                instant_of = sqlite_text_instant_ms
            why = compare(cell, g, a.format, instant_of)
            if why:
                mismatches += 1
                errors.append('row %d field %s: %s; database %s, file %r' % (
                    r + 1, names[c], why, cell.describe(), g))

    return {'rows': len(got_rows), 'columns': names, 'errorCount': len(errors), 'errors': errors[:MAX_REPORTED]}


# ---- what the tests around the readback need ----------------------------------------------------

def sqlite_tables(db):
    """The tables and views of a SQLite file, each with the order the program opens it on: its
    primary key, else a table's row id (a view has neither)."""
    con = sqlite3.connect('file:%s?mode=ro' % db, uri=True)
    out = []
    for name, kind in con.execute("SELECT name, type FROM sqlite_schema WHERE type IN ('table', 'view')"
                                  " AND name NOT LIKE 'sqlite_%' ORDER BY name").fetchall():
        keys = ['"%s"' % k.replace('"', '""') for (k,) in
                con.execute('SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk', (name,))]
        out.append([name, '' if kind == 'view' else ' ORDER BY ' + (','.join(keys) or 'rowid')])
    return out


def load_packages(db):
    """Real data: this machine's package list (dpkg's status file), a row per package, with the long
    descriptions' line breaks, dots and every maintainer's name as they are. False without one."""
    try:
        with open('/var/lib/dpkg/status', 'rb') as f:
            stanzas = f.read().split(b'\n\n')
    except OSError:
        return False
    con = sqlite3.connect(db)
    con.execute('CREATE TABLE packages(name TEXT, version VARCHAR(80), size INTEGER, maintainer, description TEXT)')
    for stanza in stanzas:
        fields, last = {}, None
        for line in stanza.split(b'\n'):
            if line.startswith(b' ') and last:
                fields[last] += b'\n' + line
            elif line.find(b':') > 0:
                last, _, value = line.partition(b':')
                fields[last] = value.strip()
        if fields.get(b'Package'):
            text = lambda key: fields.get(key, b'').decode('utf-8', 'replace')
            size = fields.get(b'Installed-Size')
            con.execute('INSERT INTO packages VALUES (?, ?, ?, ?, ?)', (
                text(b'Package'), text(b'Version'), int(size) if size else None, text(b'Maintainer'), text(b'Description')))
    con.commit()
    return True


def main():
    command = sys.argv[1:2]
    if command == ['--cells']:  # just the cells, as this module reads them
        with open(sys.argv[2], encoding='utf-8', newline='') as f:
            print(json.dumps(list(csv.reader(f))))
        return
    if command == ['--tables']:
        print(json.dumps(sqlite_tables(sys.argv[2])))
        return
    if command == ['--load-packages']:
        sys.exit(0 if load_packages(sys.argv[2]) else 3)
    if sys.argv[1:] != ['--serve']:
        print(json.dumps(run(sys.argv[1:])))
        return
    # One request a line (a JSON array of the arguments above), one JSON answer a line: starting
    # Python once instead of once per export keeps the test quick.
    for line in sys.stdin:
        try:
            answer = run(json.loads(line))
        except Exception as e:  # the test shows the failure with the export it belongs to
            answer = {'errorCount': 1, 'errors': ['readback failed: %s: %s' % (type(e).__name__, e)]}
        except SystemExit:
            answer = {'errorCount': 1, 'errors': ['readback failed: bad arguments %r' % line]}
        sys.stdout.write(json.dumps(answer) + '\n')
        sys.stdout.flush()


if __name__ == '__main__':
    main()
