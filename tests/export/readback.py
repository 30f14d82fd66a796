#!/usr/bin/env python3
"""Reads an exported CSV file or XML datapacket back (csv module, ElementTree, xmllint) and compares it
cell for cell with what the database holds, read by its own client (Python's sqlite3 module, or the
mariadb command-line client): no code shared with the writer.

readback.py FILE OPTIONS DATABASE SQL TABLE, with the export's OPTIONS ("csv names quotes", "xml mime"),
SQL giving the rows the file should hold and TABLE their declared types, prints {"errors", "errorCount"}.
readback.py --mariadb FILE OPTIONS DATABASE TABLE ORDER does the same for a table of the MariaDB test
server (KESTREL_TEST_MYHOST, _MYPORT, _MYUSER, _MYPASSWORD), its rows in the ORDER given ("id").
readback.py --tables DATABASE prints the tables and views with the order the program opens them in.
"""

import base64
import collections
import csv
import decimal
import json
import math
import os
import re
import sqlite3
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

INTEGER_TEXT = re.compile(rb'^[+-]?[0-9]+$')
PLAIN_DECIMAL = re.compile(rb'^[+-]?[0-9]+(\.[0-9]+)?$')
FLOAT_TEXT = re.compile(rb'^[+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+-]?[0-9]+)?$')
TIMES = ('date', 'time', 'datetime')


# A value as the database holds it: its class ('null', 'integer', 'real', 'text', 'blob'), the
# value, the kind of column, and the instant it names in ms.
Cell = collections.namedtuple('Cell', 'cls value kind ms', defaults=(None,))


# ---- the oracle: SQLite -------------------------------------------------------------------------

_jd = sqlite3.connect(':memory:')


def sqlite_ms(value, text=False):
    """The instant SQLite's own julianday() reads from a value (a number as a Julian day, or Unix
    time when larger), in whole milliseconds, or None. An exported text that is a number is read
    as the number; stored text as text."""
    try:
        if isinstance(value, bytes):
            value = float(value) if FLOAT_TEXT.match(value) and not text else value.decode('utf-8')
        row = _jd.execute("SELECT julianday(?, 'auto')" if isinstance(value, (int, float)) else 'SELECT julianday(?)',
                          (value,)).fetchone()
    except (ValueError, sqlite3.Error, OverflowError):
        return None
    return None if row[0] is None else int(round(row[0] * 86400000.0))


def sqlite_kind(declared):
    """A column's kind by SQLite's affinity rules, with the date, time and boolean names the
    program reads as such."""
    t = ' '.join((declared or '').upper().split())
    base = t.split('(')[0].strip()
    named = {'DATE': 'date', 'TIME': 'time', 'DATETIME': 'datetime', 'TIMESTAMP': 'datetime', 'BOOLEAN': 'bool', 'BOOL': 'bool'}
    if base in named:
        return named[base]
    for words, kind in ((('INT',), 'integer'), (('CHAR', 'CLOB', 'TEXT'), 'text'), (('BLOB',), 'none'),
                        (('REAL', 'FLOA', 'DOUB'), 'real')):
        if any(w in t for w in words) or (kind == 'none' and t == ''):
            return kind
    return 'decimal'


def sqlite_oracle(db, sql, types_of):
    con = sqlite3.connect('file:%s?mode=ro' % db, uri=True)
    con.text_factory = bytes
    names = [d[0] for d in con.execute(sql).description]
    declared = {r[0].decode(): r[1].decode() for r in con.execute('SELECT name, type FROM pragma_table_info(?)', (types_of,))}
    kinds = [sqlite_kind(declared.get(n, '')) for n in names]
    # typeof() tells text from blob, which both arrive as bytes here.
    classes = con.execute('SELECT %s FROM (%s)' % (', '.join('typeof("%s")' % n.replace('"', '""') for n in names), sql))
    rows = []
    for values, types in zip(con.execute(sql).fetchall(), classes.fetchall()):
        rows.append([Cell(cls.decode(), v, kind, sqlite_ms(v, cls == b'text') if kind in TIMES and cls != b'blob' and v is not None else None)
                     for v, cls, kind in zip(values, types, kinds)])
    return names, rows


# ---- the oracle: MariaDB ------------------------------------------------------------------------

# A MariaDB TIME: a span of up to 838 hours either side of zero, which no calendar reads.
DURATION_TEXT = re.compile(rb'^(-?)([0-9]+):([0-9]{2}):([0-9]{2})(?:\.([0-9]{1,6}))?$')


def duration_us(text):
    """The span a MariaDB TIME text names, in microseconds, or None."""
    m = DURATION_TEXT.match(text) if isinstance(text, bytes) else None
    if not m:
        return None
    sign, h, mi, s, frac = m.groups()
    us = ((int(h) * 60 + int(mi)) * 60 + int(s)) * 1000000 + int((frac or b'').ljust(6, b'0'))
    return -us if sign else us


def maria_rows(database, sql):
    """The rows of a statement as the mariadb client prints them, tab-separated. Its login is the
    test server's first one, not the program's; the password goes through the environment."""
    env = dict(os.environ, MYSQL_PWD=os.environ.get('KESTREL_TEST_MYPASSWORD', ''))
    out = subprocess.run(['mariadb', '--no-defaults', '--batch', '--skip-column-names', '--default-character-set=utf8mb4',
                          '-h', os.environ['KESTREL_TEST_MYHOST'], '-P', os.environ['KESTREL_TEST_MYPORT'],
                          '-u', os.environ['KESTREL_TEST_MYUSER'], '-D', database, '-e', sql],
                         capture_output=True, env=env, timeout=120)
    if out.returncode != 0:
        raise RuntimeError('mariadb refused %r: %s' % (sql[:200], out.stderr.decode('utf-8', 'replace')))
    return [line.split(b'\t') for line in out.stdout.split(b'\n') if line]


def maria_kind(data_type, column_type):
    """A column's kind and the class its values have, as docs/odbc-types.md maps MariaDB's types."""
    unsigned = 'unsigned' in column_type
    if data_type in ('tinyint', 'smallint', 'mediumint', 'int', 'year') or (data_type == 'bigint' and not unsigned):
        return 'integer', 'integer'
    if data_type == 'bigint':
        return 'decimal', 'integer'  # past 2^63 - 1: exact decimal text
    if data_type == 'decimal':
        return 'decimal', 'text'
    if data_type in ('float', 'double'):
        return 'real', 'real'
    if data_type == 'bit':
        return ('bool', 'integer') if column_type == 'bit(1)' else ('none', 'blob')
    if data_type in ('binary', 'varbinary', 'tinyblob', 'blob', 'mediumblob', 'longblob'):
        return 'none', 'blob'
    return {'date': 'date', 'time': 'duration', 'datetime': 'datetime', 'timestamp': 'datetime'}.get(data_type, 'text'), 'text'


def maria_oracle(database, table, order):
    """The table's names and rows as the server holds them, as the Cells the SQLite oracle makes."""
    literal = lambda s: "'" + s.replace('\\', '\\\\').replace("'", "''") + "'"
    columns = [(bytes.fromhex(name.decode()).decode('utf-8'), data_type.decode(), column_type.decode())
               for name, data_type, column_type in maria_rows(database, (
                   'SELECT HEX(COLUMN_NAME), DATA_TYPE, COLUMN_TYPE FROM information_schema.COLUMNS'
                   ' WHERE TABLE_SCHEMA = %s AND TABLE_NAME = %s ORDER BY ORDINAL_POSITION') % (literal(database), literal(table)))]
    exprs = []
    for name, data_type, column_type in columns:
        col = '`%s`' % name.replace('`', '``')
        # A FLOAT's own text has six digits; as a DOUBLE it is every digit of the single.
        inner = ('CAST(%s AS DOUBLE)' if data_type == 'float' else '%s + 0' if column_type == 'bit(1)' else '%s') % col
        exprs.append("IFNULL(CONCAT('V', HEX(CAST(%s AS BINARY))), 'N')" % inner)
    rows = []
    for values in maria_rows(database, 'SELECT %s FROM `%s` ORDER BY %s' % (', '.join(exprs), table.replace('`', '``'), order)):
        rows.append([])
        for v, (name, data_type, column_type) in zip(values, columns):
            kind, cls = maria_kind(data_type, column_type)
            if v == b'N':
                rows[-1].append(Cell('null', None, kind))
                continue
            value = bytes.fromhex(v[1:].decode())
            if cls == 'integer':
                value = int(value)
            elif cls == 'real':
                value = float(value)
                if data_type == 'float':  # the double nearest the single the server holds, as the program reads it
                    value = struct.unpack('<f', struct.pack('<f', value))[0]
            ms = (duration_us(value) if kind == 'duration' else
                  sqlite_ms(value, True) if kind in TIMES else None)
            rows[-1].append(Cell(cls, value, kind, ms))
    return [c[0] for c in columns], rows


# ---- reading the exported file ------------------------------------------------------------------

def read_csv(path, names_expected, names, errors):
    csv.field_size_limit(sys.maxsize)  # cells of megabytes
    with open(path, encoding='utf-8', errors='surrogateescape', newline='') as f:
        rows = [[c.encode('utf-8', 'surrogateescape') for c in r] for r in csv.reader(f)]
    if names_expected:
        header = [c.decode('utf-8', 'surrogateescape') for c in rows[0]] if rows else None
        if header != names:
            errors.append('header %r, expected %r' % (header, names))
        rows = rows[1:]
    return rows


# The datapacket writes the milliseconds of a time after the time separator ("13:45:10:250").
XML_TIME_MS = re.compile(r'(\d{2}:\d{2}:\d{2}):(\d{3})$')
# A binary value in a number, Boolean or date-time field is written as a hex literal.
HEX_LITERAL = re.compile(r"^x'([0-9a-f]*)'$")


def read_xml(path, mime, names, errors):
    lint = subprocess.run(['xmllint', '--noout', '--huge', path], capture_output=True, timeout=60)
    if lint.returncode != 0:
        errors.append('xmllint rejects the datapacket: ' + lint.stderr.decode('utf-8', 'replace')[:400])
    try:
        root = ET.parse(path).getroot()
    except ET.ParseError as e:
        errors.append('not well-formed XML: %s' % e)
        return []
    defs = root.findall('./metadata/fielddefs/fielddef')
    if [d.get('name') for d in defs] != names or root.tag != 'datapacket':
        errors.append('%s with fielddefs %r, expected %r' % (root.tag, [d.get('name') for d in defs], names))
    types = [d.get('datatype') for d in defs]
    xml_rows = root.findall('./recorddata/row')
    if root.find('./recorddata') is None or root.find('./recorddata').get('count') != str(len(xml_rows)):
        errors.append('recorddata missing or its count is not %d' % len(xml_rows))
    rows = []
    for r, row in enumerate(xml_rows, 1):
        rows.append([])
        for c, item in enumerate(row.findall('./field')):
            if c < len(defs) and item.get('name') != defs[c].get('name'):
                errors.append('row %d item %d is named %r' % (r, c + 1, item.get('name')))
            rows[-1].append(decode_item(item, types[c] if c < len(types) else '', mime, '%d/%s' % (r, item.get('name')), errors))
    return rows


def decode_item(item, datatype, mime, where, errors):
    if 'value' in item.attrib:
        value = item.get('value')
        if HEX_LITERAL.match(value):
            return bytes.fromhex(HEX_LITERAL.match(value).group(1))
        return (XML_TIME_MS.sub(r'\1.\2', value) if datatype in TIMES else value).encode('utf-8')
    size = item.get('size')
    if size == '-1':
        return None
    text = ''.join(item.itertext())
    if datatype not in ('string', 'fixedchar', 'guid') or mime:
        try:
            data = base64.b64decode(''.join(text.split()), validate=True)
        except ValueError as e:
            errors.append('%s: not base64 (%s): %r' % (where, e, text[:80]))
            return b''
    elif size == '0':
        data = text.strip('\n').encode('utf-8')
    elif text.startswith('\n\n') and text.endswith('\n\n'):
        # The section sits on lines of its own: a line break before "<![CDATA[" and one after it,
        # and the same before and after "]]>".
        data = text[2:-2].encode('utf-8')
    else:
        errors.append('%s: character data not laid out on lines of its own: %r' % (where, text[:80]))
        data = text.encode('utf-8')
    if size is not None and size != str(len(data)):
        errors.append('%s: size=%s but %d bytes' % (where, size, len(data)))
    return data


# ---- comparing ----------------------------------------------------------------------------------

def truth(v):
    if isinstance(v, (bool, int)):
        return v != 0
    low = v.strip().lower() if isinstance(v, bytes) else None
    return True if low in (b'true', b'1') else False if low in (b'false', b'0') else None


def same_decimal(got, expected):
    return bool(PLAIN_DECIMAL.match(got)) and decimal.Decimal(got.decode()) == decimal.Decimal(expected)


def same_float(text, v):
    """The exported number reads back as the stored double, or both agree to 15 significant digits."""
    if float(text) == v:
        return True
    with decimal.localcontext() as ctx:
        ctx.prec = 15
        return +decimal.Decimal(text.decode()) == +decimal.Decimal(v)


def compare(cell, got, fmt):
    """None when the exported form got (bytes, or None for an XML NULL) carries the cell, else why not."""
    if cell.cls == 'null':
        return None if got == (b'' if fmt == 'csv' else None) else 'expected the form of NULL'
    if got is None:
        return 'exported as NULL'
    if cell.cls == 'blob':
        if fmt == 'csv':
            return None if got == b'' else 'expected an empty cell for a BLOB'
        return None if got == cell.value else 'blob bytes differ'
    if cell.kind == 'duration' and cell.ms is not None:
        us = duration_us(got)
        return None if us == cell.ms else 'a different span of time (%s us, the database %d)' % (us, cell.ms)
    if cell.ms is not None:
        ms = sqlite_ms(got)
        return None if ms == cell.ms else 'a different instant (%s ms, the database %d)' % (ms, cell.ms)
    if cell.kind == 'bool' and truth(cell.value) is not None:
        return None if truth(got) == truth(cell.value) else 'boolean %s expected' % truth(cell.value)
    if cell.cls == 'integer':
        if cell.kind == 'decimal':
            return None if same_decimal(got, cell.value) else 'not the exact decimal %d' % cell.value
        return None if INTEGER_TEXT.match(got) and int(got) == cell.value else 'not the integer %d' % cell.value
    if cell.cls == 'text' and cell.kind == 'decimal' and PLAIN_DECIMAL.match(cell.value):
        return None if same_decimal(got, cell.value.decode()) else 'not the exact decimal %s' % cell.value.decode()
    if cell.cls == 'real':
        v = cell.value
        if math.isnan(v) or math.isinf(v):
            spelled = b'NAN' if math.isnan(v) else (b'INF' if v > 0 else b'-INF')
            return None if got == spelled else 'expected %s' % spelled.decode()
        return None if FLOAT_TEXT.match(got) and same_float(got, v) else 'not %r at 15 significant digits' % v
    # Text (and text of any other kind): byte for byte.
    if got == cell.value:
        return None
    at = next((i for i, (x, y) in enumerate(zip(got, cell.value)) if x != y), min(len(got), len(cell.value)))
    return 'text bytes differ from byte %d on (%d bytes, the database %d)' % (at, len(got), len(cell.value))


def shown(value):
    """A value for a message: values of megabytes cut short, with their length."""
    text = repr(value)
    return text if len(text) <= 300 else '%s... (%d bytes)' % (text[:200], len(value) if isinstance(value, bytes) else len(text))


def run(path, options, database, sql, types_of):
    return check(path, options, *sqlite_oracle(database, sql, types_of))


def check(path, options, names, expected):
    fmt, options = options.split()[0], options.split()[1:]
    errors = []
    got_rows = (read_csv(path, 'names' in options, names, errors) if fmt == 'csv'
                else read_xml(path, 'mime' in options, names, errors))
    if len(got_rows) != len(expected):
        errors.append('%d rows exported, the database has %d' % (len(got_rows), len(expected)))

    for r, (cells, got) in enumerate(zip(expected, got_rows)):
        if len(got) != len(cells):
            errors.append('row %d: %d cells, expected %d' % (r + 1, len(got), len(cells)))
            continue
        for c, (cell, g) in enumerate(zip(cells, got)):
            why = compare(cell, g, fmt)
            if why:
                errors.append('row %d field %s: %s; database %s %s, file %s' % (r + 1, names[c], why, cell.cls, shown(cell.value), shown(g)))
    return {'errorCount': len(errors), 'errors': errors[:25]}


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


if __name__ == '__main__':
    if sys.argv[1] == '--tables':
        print(json.dumps(sqlite_tables(sys.argv[2])))
    elif sys.argv[1] == '--mariadb':
        path, options, database, table, order = sys.argv[2:]
        print(json.dumps(check(path, options, *maria_oracle(database, table, order))))
    else:  # a failure shows on stderr, in the test's output
        print(json.dumps(run(*sys.argv[1:])))
