#!/usr/bin/env python3
"""Writes the INI files that tests/e2e/ini_differential_test.cpp reads through
both the platform and our reader. Each file is exact bytes: line ends, byte-order
marks, code page 936 text and broken double-byte pairs are the point of them.
Run it from anywhere; it rewrites the files next to itself."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
ZHONG, WEN = b'\xd6\xd0', b'\xce\xc4'          # 中 文 in code page 936
FILE_ZH = b'\xb8\xfc\xd0\xc2'                  # 更新


def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)


def lines(*items, end=b'\r\n'):
    return end.join(items) + end


# What the program itself reads: the local settings and a manifest.
write('settings_crlf.ini', lines(
    b'[Server]', b'strSoft=kelmor', b'strVersion=1.26', b'URL=http://update.example.com/kelmor/',
    b'[server]', b'strSoft=second section'))
write('manifest.ini', lines(
    b'[kelmor]', b'VERSION=1.3', b'[FILE0]', b'FILE=kelmor.exe', b'VERSION=2024-03-05 14:30:00',
    b'[FILE1]', b'FILE=data\\' + FILE_ZH + b'.dat', b'VERSION=2024/3/5 14:30:00',
    b'[FILE3]', b'FILE=after the gap', b'VERSION=', b'[Kelmor]', b'VERSION=9.9', end=b'\n'))

write('blanks.ini', lines(
    b'  [ Spaced ]  ', b'\t key one \t=\t value one \t', b'key2 =', b'key3=   ',
    b'\x0bvt\x0c=\x0cvalue\x1a', b'\x1ckey4\x1c=\x1cfs\x1c', b'k5 = a  b  c ', b'[\tTabbed\x1a]', b'x=1',
    b'[In ner]', b'in ner = sp ace', b'[Trail \x00]', b'z=nul after blank', end=b'\n'))

write('quotes.ini', lines(
    b'[Q]', b'd="double"', b"s='single'", b'mixed="mis\'', b'inner=" in ner "', b'one="', b'empty=""',
    b"x=''x'", b'mid="a"b"', b'left="abc', b'right=abc"', b'spaced = "x" ', b'q4="abc"', b'qz="' + ZHONG * 5 + b'"',
    b'z4=' + ZHONG * 3))

write('comments.ini', lines(
    b'; leading comment', b'[C]', b';key=commented', b'#hash=4', b'key=value ; not a comment', b'# lone hash',
    b'//slashes=5', b'[;S]', b'k=in semicolon section', end=b'\n'))

write('repeats.ini', lines(
    b'before=first lines', b'[R]', b'a=first', b'A=second', b'b', b'b=after bare', b'[open', b'o=1',
    b'[x]y]', b'p=1', b'[C]tail', b'c=1', b'=empty name', b'=second empty', b'[]', b'e=empty section',
    b'[r]', b'a=repeated section', b'new=only in repeat', b'[ R ]', b'a=third', end=b'\n'))

write('line_ends_lf.ini', lines(b'[L]', b'a=1', b'b=2', end=b'\n'))
write('line_ends_cr.ini', lines(b'[L]', b'a=1', b'b=2', end=b'\r'))
write('line_ends_mixed.ini', b'[L]\ra=1\r\nb=2\nc=3\rd=4\n\re=5\r\r\nf=6')

write('bom_utf8.ini', b'\xef\xbb\xbfbefore=1\n[U]\na=plain\nemoji=\xf0\x9f\x98\x80x\n'
      b'bad=\xff\xfe|\xc3|\xe4\xb8|\xed\xa0\x80|\xf4\x90\x80\x80|\xc0\xaf\n'
      b'more=\x80|\xc2\x80|\xe0\x80\x80|\xe0\x9f\x80|\xe0\xa0\x80|\xef\xbf\xbf|\xf0\x80\x80\x80|'
      b'\xf0\x8f\xbf\xbf|\xf4\x8f\xbf\xbf|\xf5\x80\x80\x80|\xf8\x80\x80\x80\x80|\xfe\n')
# A sequence cut short by the end of the file takes the rest with it.
write('bom_utf8_cut.ini', b'\xef\xbb\xbf[U]\nk=|\xe4|')
write('bom_utf16le.ini', '\ufeff[W]\r\na=wide\r\nemoji=\U0001F600\r\n'.encode('utf-16-le'))
write('bom_utf16be.ini', '\ufeff[W]\r\na=big\r\n'.encode('utf-16-be'))
write('utf16_without_bom.ini', '[W]\r\na=1\r\n'.encode('utf-16-le'))

# Unicode files with Chinese text, as an editor saves them: read through the
# system's conversion to code page 936. Besides common text they hold
# characters without a code page 936 form (one "?" per UTF-16 unit, so two
# for an emoji, yet a name holding them is not "??"), characters whose second
# byte in code page 936 is "[", "\\", "]", "a" or "|", full-width and Greek
# letters (compared exactly), and long values to cut. Accented Latin letters
# and private-use characters are left out: the platform gives them a nearest
# form that the native test conversion does not know.
CHINESE = '\r\n'.join([
    '[Server]', 'strSoft=凯莫尔软件', 'strVersion=1.26', 'URL=http://update.example.com/凯莫尔/',
    '[凯莫尔软件]', 'VERSION=1.3', '[FILE0]', 'FILE=数据\\更新.dat', 'VERSION=2024-03-05 14:30:00',
    '[ 中文 ]', ' 名称 = 值 ', '引号="中文值"', "单引号='中'", '全角空格=\u3000两边全角空格\u3000',
    '外字=한글😀€·—ａＡαΑяЯ、。', '字节=擺淺揮產東', '擺淺揮產東=second bytes', '😀=emoji key',
    '长=' + '中' * 200, '混合=a' + '😀中' * 100, '中文=first', '中文=second',
    '[中文]', '中文=repeated section', '[ａＢα]', 'x=full-width', '[揮]', 'y=bracket as second byte',
    '[未完揮', 'z=no closing bracket', '[東]尾', '东=after the bracket', '??=question marks',
    '[😀]', 'a=emoji section', '[??]', 'a=question mark section', '',
])
write('utf8_chinese.ini', '\ufeff'.encode('utf-8') + CHINESE.encode('utf-8'))
write('utf16le_chinese.ini', ('\ufeff' + CHINESE).encode('utf-16-le'))
write('utf16be_chinese.ini', ('\ufeff' + CHINESE).encode('utf-16-be'))

# Characters the platform shows by a nearest form (accented Latin letters,
# superscripts, compatibility ideographs) and private-use characters: only the
# program's own conversion knows them, so only the Windows side checks this
# file. They stand in values only: a name with such a character matches no
# name asked for on the platform, which our reader does not tell apart.
NEAREST = ''.join(chr(c) for c in [0xC0, 0xC9, 0xE2, 0xAA, 0xB2, 0xB9, 0xA6, 0xAD, 0x100, 0x1CD, 0x2018,
                                      0x3220, 0xF900, 0xFA0C, 0xE000, 0xE4C5, 0xE815])
write('utf8_nearest_forms.ini', ('\ufeff[N]\r\nv=' + NEAREST + '\r\nmix=' + NEAREST + '中' * 5 + '\r\n').encode('utf-8'))

write('cp936.ini', lines(
    b'[' + ZHONG + WEN + b']', ZHONG + b'=' + WEN, b'FILE=' + FILE_ZH + b'\\' + ZHONG + b'.exe',
    b'[\x81]x]', b'k=bracket trail', b'[S\x81]', b'in=lead eats bracket',
    b'[T]', b'trail=\x81a\x81A\x81\\\x81[\x81]', b'a\x81a=1', b'A\x81A=2',
    b'bad=A\x81\x30B\x81\x7fC\x81\xffD', b'eats=A\x81\nB', b'eatsr=A\x81\rB', b'nul=A\x81\x00B', b'single=\x80\xff',
    b'eq\x81=key', b'sp=\xa1\xa1wide space\xa1\xa1',
    b'[\xa3\xc1\xa6\xa1\xa7\xa1]', b'f=full-width A, alpha, A', b'[ab\xa3\xe1]', b'g=1', end=b'\n'))
write('lead_at_end.ini', b'[E]\nend=x\x81')

write('nul_bytes.ini', lines(
    b'[N]', b'a=x\x00y', b'b\x00c=2', b'\x00d=3', b'e=\x00', b'[T\x00U]', b't=1', b'[V]\x00', b'v=1', end=b'\n'))

long_value = b'x' * 70000
cut_value = b''.join((ZHONG if i % 3 else b'a') for i in range(200))
write('long_lines.ini', lines(
    b'[Long]', b'long=' + long_value, b'zh=' + ZHONG * 200, b'az=a' + ZHONG * 200, b'mixed=' + cut_value,
    b'ascii=' + bytes(range(0x21, 0x7f)) * 4, b'name' + b'n' * 300 + b'=long name'))

pairs = [b'[P]']
for lead in range(0x81, 0xff):
    trails = [t for t in range(0x40, 0xff) if t != 0x7f]
    pairs.append(b'L%02X=' % lead + b'x'.join(bytes([lead, t]) for t in trails))
write('gbk_pairs.ini', lines(*pairs, end=b'\n'))

write('empty.ini', b'')
write('blank_lines_only.ini', b'\r\n \t\r\n\x1a')
