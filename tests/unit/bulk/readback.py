#!/usr/bin/env python3
"""Reads an exported file with an independent reader and prints its rows as JSON:
{"header": [...], "rows": [[...], ...]} (every value as text, None for null/absent)."""
import csv, io, json, sqlite3, sys
import xml.etree.ElementTree as ET


def text_of(path, encoding):
    data = open(path, 'rb').read()
    if encoding == 'utf-16':
        assert data[:2] == b'\xff\xfe', 'no byte-order mark'
        return data[2:].decode('utf-16-le')
    return data.decode('cp1252')


def main():
    fmt, path = sys.argv[1], sys.argv[2]
    enc = sys.argv[3] if len(sys.argv) > 3 else 'utf-16'
    out = {}
    if fmt == 'csv':
        sep = sys.argv[4] if len(sys.argv) > 4 else ','
        quote = sys.argv[5] if len(sys.argv) > 5 else "'"
        rows = list(csv.reader(io.StringIO(text_of(path, enc), newline=''), delimiter=sep, quotechar=quote))
        out = {'header': rows[0], 'rows': rows[1:]}
    elif fmt == 'xml':
        root = ET.fromstring(open(path, 'rb').read())
        fields = [f.get('FieldName') for f in root.iter('FIELD')]
        out = {'header': fields, 'rows': [[r.get(f) for f in fields] for r in root.iter('ROW')],
               'types': {f.get('FieldName'): f.get('FieldType') for f in root.iter('FIELD')}}
    elif fmt == 'ado-xml':
        root = ET.fromstring(open(path, 'rb').read())
        data = root.find('dataroot')
        rows = []
        header = []
        for r in data.findall('ROW'):
            header = [c.tag for c in r]
            rows.append([c.text or '' for c in r])
        xsd = '{http://www.w3.org/2001/XMLSchema}'
        types = {e.get('name'): e.get('type') for e in root.iter(xsd + 'element') if e.get('type')}
        out = {'header': header, 'rows': rows, 'types': types}
    elif fmt == 'html':
        import html.parser

        class P(html.parser.HTMLParser):
            def __init__(self):
                super().__init__(convert_charrefs=True)
                self.rows, self.cell, self.row, self.tags = [], None, None, set()

            def handle_starttag(self, tag, attrs):
                self.tags.add(tag)
                if tag == 'tr':
                    self.row = []
                elif tag == 'td':
                    self.cell = ''
                elif tag == 'br' and self.cell is not None:
                    self.cell += '\n'

            def handle_endtag(self, tag):
                if tag == 'td':
                    self.row.append(self.cell.strip(' \r\n').replace('\xa0', ''))
                    self.cell = None
                elif tag == 'tr':
                    self.rows.append(self.row)

            def handle_data(self, d):
                if self.cell is not None:
                    self.cell += d.replace('\r\n', '') if d.strip() == '' else d.strip('\r\n')

        p = P()
        p.feed(text_of(path, enc))
        out = {'header': p.rows[0], 'rows': p.rows[1:], 'tags': sorted(p.tags)}
    elif fmt == 'sqlite':
        table = sys.argv[3]
        con = sqlite3.connect(path)
        cur = con.execute('SELECT * FROM [%s]' % table)
        fetched = cur.fetchall()
        out = {'header': [d[0] for d in cur.description],
               'rows': [[None if v is None else str(v) for v in r] for r in fetched],
               # the storage class of every cell: integer, real, text, blob or null
               'types': [[{int: 'integer', float: 'real', str: 'text', bytes: 'blob'}.get(type(v), 'null')
                          for v in r] for r in fetched],
               'tables': [r[0] for r in con.execute("SELECT name FROM sqlite_master WHERE type='table'")]}
    elif fmt == 'xlsx':
        import openpyxl
        wb = openpyxl.load_workbook(path)
        sheet = sys.argv[3] if len(sys.argv) > 3 else wb.sheetnames[0]
        ws = wb[sheet]
        rows = [[None if v is None else (v.strftime('%Y-%m-%d %H:%M:%S') if hasattr(v, 'strftime') else str(v))
                 for v in r] for r in ws.iter_rows(values_only=True)]
        out = {'header': rows[0] if rows else [], 'rows': rows[1:], 'sheets': wb.sheetnames}
    elif fmt == 'docx':
        import docx
        d = docx.Document(path)
        out = {'paragraphs': [p.text for p in d.paragraphs],
               'bold': [r.text for p in d.paragraphs for r in p.runs if r.bold],
               'footer': [p.text for p in d.sections[0].footer.paragraphs],
               'pictures': len(d.inline_shapes) + len([r for r in d.part.rels.values() if 'image' in r.reltype])}
    print(json.dumps(out))


main()
