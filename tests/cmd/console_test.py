#!/usr/bin/env python3
"""SorvaneCmd.exe run as a script runs it: through cmd /c under Wine, its
exit code as cmd gives it back. Its JSON Lines and CSV are read here, on the
Unix side, by Python's json and csv, and every row is checked against the
files themselves after the run (sizes, times, xxhsum -H2), never against
the program's own account. Every run goes through console_probe, which
counts the program's top-level windows (none, ever) and passes its exit
code on.

usage: console_test.py <dist folder> <console_probe.exe> <wine-run.sh> <group>
groups: Operations ExitCodes JobFile Output Report ProgressRow CtrlC Plan Sums"""
import csv
import datetime
import glob
import hashlib
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

DIST, PROBE, WINE_RUN, GROUP = sys.argv[1:5]
PROGRAM = os.path.join(DIST, 'SorvaneCmd.exe')


def win(path):
    return 'Z:' + path.replace('/', '\\')


def unix(path):
    assert path.startswith('Z:\\'), path
    return path[2:].replace('\\', '/')


def q(path):
    return '"%s"' % path


def write(path, data, mtime=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data if isinstance(data, bytes) else data.encode())
    if mtime is not None:
        os.utime(path, (mtime, mtime))


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def xxh128(path):
    return subprocess.run(['xxhsum', '-H2', path], check=True, capture_output=True, text=True).stdout.split()[0]


def ticks_of(text):
    """FILETIME units since 1970 of "YYYY-MM-DDTHH:MM:SS[.fffffff]Z"."""
    m = re.fullmatch(r'(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)(?:\.(\d{1,7}))?Z', text)
    assert m, text
    whole = datetime.datetime.strptime(m.group(1), '%Y-%m-%dT%H:%M:%S').replace(tzinfo=datetime.timezone.utc)
    return int(whole.timestamp()) * 10000000 + int((m.group(2) or '0').ljust(7, '0'))


def wine(*args, timeout=600, language=None):
    environment = dict(os.environ, LC_ALL=language) if language else None
    return subprocess.run([WINE_RUN, *args], capture_output=True, timeout=timeout, env=environment)


class ConsoleRun(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix='sorvane-cmd-')
        self.addCleanup(shutil.rmtree, self.root, True)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def sorvane(self, arguments, language=None):
        """Runs SorvaneCmd.exe under the window watcher through cmd /c:
        (exit code, standard output, standard error)."""
        command = self.path('command.txt')
        report = self.path('watch.txt')
        write(command, '"%s" %s' % (win(PROGRAM), arguments))
        # The watcher writes its report when the program has ended; one
        # left from an earlier run must never stand for this one. Wine can
        # fail to start the watcher itself on a loaded machine (cmd then
        # ends with 1 and no report): that start is made once more, and
        # the program has not run then.
        for attempt in range(3):
            if os.path.exists(report):
                os.remove(report)
            done = wine('cmd', '/c', win(PROBE), 'watch', win(command), win(report), language=language)
            if os.path.exists(report) and b'exit=' in read(report):
                break
            print('the window watcher did not run (cmd /c ended with %d); started once more' % done.returncode,
                  file=sys.stderr)
        self.assertTrue(os.path.exists(report) and b'exit=' in read(report),
                        'the window watcher never ran the program: %s' % done.stderr[-400:])
        watched = dict(line.split('=', 1) for line in read(report).decode().split('\n') if '=' in line)
        self.assertEqual(watched['windows'], '0', 'SorvaneCmd.exe made a top-level window (%s): %s' % (
            watched.get('class'), arguments))
        self.assertEqual(int(watched['exit']), done.returncode, 'cmd /c gives the exit code back')
        return done.returncode, done.stdout.decode('utf-8'), done.stderr.decode('utf-8', 'replace')

    def script(self, lines):
        """Runs a .cmd file (as the Task Scheduler would): its exit code and output."""
        batch = self.path('run.cmd')
        write(batch, '@echo off\r\n' + '\r\n'.join(lines) + '\r\n')
        done = wine('cmd', '/c', win(batch))
        return done.returncode, done.stdout.decode('utf-8', 'replace'), done.stderr.decode('utf-8', 'replace')

    def rows(self, jsonl, csv_path=None):
        """The rows of the JSON Lines file, its closing object, and the CSV's
        rows checked equal to them."""
        lines = read(jsonl).decode('utf-8').splitlines()
        objects = [json.loads(line) for line in lines]
        closing = objects.pop()
        self.assertIn('exit_code', closing)
        for row in objects:
            self.assertEqual(set(row) - {'error'}, {'source', 'target', 'action', 'status', 'reason', 'reason_text',
                                                   'size', 'mtime', 'xxh128'})
        if csv_path:
            raw = read(csv_path)
            self.assertTrue(raw.startswith(b'\xef\xbb\xbf'), 'a byte-order mark')
            with open(csv_path, encoding='utf-8-sig', newline='') as f:
                table = list(csv.DictReader(f))
            self.assertEqual(len(table), len(objects))
            for row, line in zip(objects, table):
                for key in ('source', 'target', 'action', 'status', 'reason', 'reason_text', 'size', 'mtime', 'xxh128'):
                    self.assertEqual(line[key], '' if row[key] is None else str(row[key]), key)
        return objects, closing

    def check_on_disk(self, row):
        """One row against the files as they are now."""
        status, action = row['status'], row['action']
        source = unix(row['source'])
        target = unix(row['target']) if row['target'] else None
        if status in ('success', 'verified'):
            if action in ('copy', 'compress'):
                self.assertTrue(os.path.isfile(source), source)
            else:
                self.assertFalse(os.path.lexists(source), 'moved or deleted: ' + source)
            if action in ('copy', 'move'):
                self.assertTrue(os.path.isfile(target), target)
                self.assertEqual(os.path.getsize(target), row['size'])
                self.assertEqual(os.stat(target).st_mtime_ns // 100, ticks_of(row['mtime']))
            if status == 'verified':
                self.assertEqual(xxh128(target), row['xxh128'])
            else:
                self.assertIsNone(row['xxh128'])
        elif status in ('read_only', 'failed', 'test_only', 'skipped'):
            self.assertTrue(os.path.lexists(source), 'kept: ' + source)


class Operations(ConsoleRun):
    def test_copy_with_patterns_and_the_newer_policy_verified(self):
        src, out = self.path('src'), self.path('out')
        names = ['a.txt', 'sub/e.txt', '日本語.txt', 'with, comma.txt', 'emoji 😀 "q".txt']
        names[-1] = names[-1].replace('"', '')  # no quote in a Windows name
        for n in names:
            write(os.path.join(src, n), 'content of ' + n)
        write(self.path('src/d.md'), 'not a text file')
        write(self.path('src/old.txt'), 'new source', mtime=2000000000)
        write(self.path('out/old.txt'), 'old target', mtime=1000000000)
        write(self.path('src/kept.txt'), 'older source', mtime=1000000000)
        write(self.path('out/kept.txt'), 'newer target', mtime=2000000000)
        code, out_text, err = self.sorvane('copy %s %s /names:*.txt /overwrite:newer /verify /log:%s /csv:%s' % (
            q(win(src)), q(win(out)), q(win(self.path('r.jsonl'))), q(win(self.path('r.csv')))))
        self.assertEqual(code, 0, err)
        rows, closing = self.rows(self.path('r.jsonl'), self.path('r.csv'))
        self.assertEqual(closing['exit_code'], 0)
        self.assertEqual(sorted(os.path.relpath(unix(r['source']), src) for r in rows), sorted(names + ['old.txt']))
        for row in rows:
            self.assertEqual((row['action'], row['status']), ('copy', 'verified'))
            self.check_on_disk(row)
        self.assertEqual(read(self.path('out/kept.txt')), b'newer target', 'kept by the policy')
        self.assertEqual(read(self.path('out/old.txt')), b'new source')
        self.assertFalse(os.path.exists(self.path('out/d.md')))

    def test_move_of_small_files_always_overwriting(self):
        src, out = self.path('src'), self.path('out')
        write(self.path('src/s1.bin'), b'x' * 10)
        write(self.path('src/deep/s2.bin'), b'y' * 50000)
        write(self.path('src/large.bin'), b'z' * 200000)
        write(self.path('out/deep/s2.bin'), 'a newer target', mtime=2100000000)
        code, _, err = self.sorvane('move %s %s /size:small /overwrite:always /log:%s /csv:%s' % (
            q(win(src)), q(win(out)), q(win(self.path('r.jsonl'))), q(win(self.path('r.csv')))))
        self.assertEqual(code, 0, err)
        rows, _ = self.rows(self.path('r.jsonl'), self.path('r.csv'))
        self.assertEqual(len(rows), 2)
        for row in rows:
            self.assertEqual(row['action'], 'move')
            self.check_on_disk(row)
        self.assertEqual(read(self.path('out/deep/s2.bin')), b'y' * 50000, 'replaced: the policy is "always"')
        self.assertTrue(os.path.isfile(self.path('src/large.bin')), 'not small: stays')

    def test_delete_keeps_read_only_files_under_protection(self):
        src = self.path('src')
        for n in ('a.tmp', 'sub/b.tmp', 'c.keep'):
            write(os.path.join(src, n), n)
        write(self.path('src/ro.tmp'), 'read-only')
        os.chmod(self.path('src/ro.tmp'), 0o444)
        code, _, err = self.sorvane('delete %s /names:*.tmp /protect /log:%s /csv:%s' % (
            q(win(src)), q(win(self.path('r.jsonl'))), q(win(self.path('r.csv')))))
        self.assertEqual(code, 0, 'a file kept by read-only protection is the policy, not a failure: ' + err)
        rows, _ = self.rows(self.path('r.jsonl'), self.path('r.csv'))
        self.assertEqual(sorted((os.path.basename(unix(r['source'])), r['status']) for r in rows),
                         [('a.tmp', 'success'), ('b.tmp', 'success'), ('ro.tmp', 'read_only')])
        for row in rows:
            self.assertEqual(row['action'], 'delete')
            self.check_on_disk(row)
        self.assertTrue(os.path.isfile(self.path('src/c.keep')))

    def test_compress_lists_what_it_archived(self):
        src = self.path('src')
        for n in ('a.txt', 'sub/b.txt', 'c.doc'):
            write(os.path.join(src, n), 'text of ' + n)
        archive = self.path('out/a.lzh')
        os.makedirs(self.path('out'))
        code, _, err = self.sorvane('compress %s %s /names:*.txt /archive:new /log:%s' % (
            q(win(src)), q(win(archive)), q(win(self.path('r.jsonl')))))
        self.assertEqual(code, 0, err)
        rows, closing = self.rows(self.path('r.jsonl'))
        self.assertEqual(closing['totals']['completed'], 2)
        listed = subprocess.run(['lhasa', 'l', archive], capture_output=True, text=True, check=True).stdout
        for row in rows:
            self.assertEqual((row['action'], row['status'], unix(row['target'])), ('compress', 'success', archive))
            self.check_on_disk(row)
            self.assertIn(os.path.relpath(unix(row['source']), src).replace(os.sep, '/'), listed.replace('\\', '/'))
        self.assertNotIn('c.doc', listed)


class ExitCodes(ConsoleRun):
    def test_nothing_qualified_is_0_and_said(self):
        write(self.path('src/a.txt'), 'a')
        code, out, err = self.sorvane('copy %s %s /names:*.none' % (q(win(self.path('src'))), q(win(self.path('out')))))
        self.assertEqual(code, 0, err)
        self.assertIn('No file qualified', out)
        self.assertFalse(os.path.exists(self.path('out')))

    def test_a_failed_file_is_1(self):
        write(self.path('src/a.txt'), 'a')
        write(self.path('src/b.txt'), 'b')
        os.makedirs(self.path('out/b.txt'))  # a folder where a file would land
        code, _, err = self.sorvane('copy %s %s /overwrite:always /log:%s' % (
            q(win(self.path('src'))), q(win(self.path('out'))), q(win(self.path('r.jsonl')))))
        self.assertEqual(code, 1, err)
        rows, closing = self.rows(self.path('r.jsonl'))
        self.assertEqual(closing['exit_code'], 1)
        self.assertIn(('b.txt', 'failed', 'folder_in_the_way'),
                      [(os.path.basename(unix(r['source'])), r['status'], r['reason']) for r in rows])
        for row in rows:
            self.check_on_disk(row)

    def test_every_refusal_is_2_with_one_line_and_nothing_touched(self):
        src, out = self.path('src'), self.path('out')
        write(self.path('src/a.txt'), 'a')
        # A sparse file far larger than the free space: the counting pass
        # finds that the target's volume lacks room.
        os.makedirs(self.path('huge'))
        with open(self.path('huge/big.bin'), 'wb') as f:
            f.truncate(15 * 2 ** 40)
        cases = [
            ('copy %s %s /bogus' % (q(win(src)), q(win(out))), 'Unknown switch /bogus'),
            ('copy %s %s /overwrite:sometimes' % (q(win(src)), q(win(out))), '/overwrite cannot be sometimes'),
            ('copy %s %s /after:2024-02-30' % (q(win(src)), q(win(out))), 'no local time'),
            ('delete %s %s' % (q(win(src)), q(win(out))), 'A delete takes no target'),
            ('copy %s %s' % (q(win(self.path('missing'))), q(win(out))), 'The source does not exist'),
            ('copy %s %s' % (q(win(src) + '\\;a.txt;gone.txt'), q(win(out))), 'gone.txt'),
            ('copy %s %s' % (q(win(src)), q(win(self.path('src/inside')))), 'target'),
            ('copy %s %s /log:%s' % (q(win(src)), q(win(out)), q(win(self.path('no/such/r.jsonl')))), 'cannot be written'),
            ('copy %s %s /job:%s' % (q(win(src)), q(win(out)), q(win(self.path('no-job.txt')))), 'cannot be read'),
            ('copy %s %s' % (q(win(self.path('huge'))), q(win(out))), 'Not enough room'),
            ('copy "%s\\" %s' % (win(src), win(out)), 'quotation mark'),  # the backslash before a closing quote
            ('copy', 'No source list'),
            # A checksum file: only of verified copies, of a copy or move,
            # in the target folder or above it on the same drive.
            ('copy %s %s /sums:%s' % (q(win(src)), q(win(out)), q(win(self.path('out/s.xxh128')))), 'needs /verify'),
            ('move %s %s /verify:no /sums:%s' % (q(win(src)), q(win(out)), q(win(self.path('out/s.xxh128')))),
             'needs /verify'),
            ('delete %s /sums:%s' % (q(win(src)), q(win(self.path('s.xxh128')))), '/sums does not apply'),
            ('copy %s %s /verify /sums:%s' % (q(win(src)), q(win(out)), q(win(self.path('src/s.xxh128')))),
             'must lie in the target folder'),
            ('copy %s %s /verify /sums:C:\\sorvane-sums-refused.xxh128' % (q(win(src)), q(win(out))),
             'must lie in the target folder'),
            ('copy %s %s /verify /sums:%s /log:%s' % (q(win(src)), q(win(out)), q(win(self.path('r.x'))),
                                                     q(win(self.path('r.x')))), 'same file'),
        ]
        for arguments, cause in cases:
            with self.subTest(arguments=arguments):
                code, stdout, err = self.sorvane(arguments)
                self.assertEqual(code, 2, stdout + err)
                lines = [line for line in err.splitlines() if line.strip()]
                self.assertEqual(len(lines), 1, err)
                self.assertIn(cause, lines[0])
                self.assertFalse(os.path.exists(out), 'nothing touched')
                self.assertFalse(os.path.exists(self.path('src/inside')))
                self.assertEqual(sorted(os.listdir(src)), ['a.txt'])
                self.assertFalse(os.path.exists(self.path('s.xxh128')))
                self.assertFalse(os.path.exists(self.path('r.x')))
                self.assertFalse(os.path.exists(os.path.join(
                    os.path.dirname(WINE_RUN), 'wineprefix', 'drive_c', 'sorvane-sums-refused.xxh128')))

    def test_a_cmd_script_sees_the_codes_and_doubles_percent(self):
        write(self.path('src/100%.txt'), 'percent')
        write(self.path('src/other.txt'), 'other')
        code, out, err = self.script([
            '"%s" copy "%s" "%s" /names:100%%%%.txt' % (win(PROGRAM), win(self.path('src')), win(self.path('out'))),
            'if errorlevel 1 exit /b 7',
            '"%s" copy "%s" "%s" /bogus' % (win(PROGRAM), win(self.path('src')), win(self.path('out'))),
            'if errorlevel 2 exit /b 22',
            'exit /b 0',
        ])
        self.assertEqual(code, 22, out + err)
        self.assertEqual(os.listdir(self.path('out')), ['100%.txt'])


class JobFile(ConsoleRun):
    def test_switches_override_the_job_file(self):
        src, out = self.path('データ'), self.path('out')
        write(os.path.join(src, 'a.txt'), 'text')
        write(os.path.join(src, 'b.md'), 'new notes', mtime=1000000000)
        write(os.path.join(out, 'b.md'), 'newer notes', mtime=2000000000)
        job = self.path('nightly.job')
        write(job, '\ufeff# the nightly copy\r\noperation=copy\r\nsource=%s\r\ntarget=%s\r\nnames=*.txt\r\n'
                   'overwrite=never\r\nlog=%s\r\n' % (win(src), win(out), win(self.path('r.jsonl'))))
        code, _, err = self.sorvane('/job:%s /names:*.md /overwrite:always' % q(win(job)))
        self.assertEqual(code, 0, err)
        self.assertEqual(read(os.path.join(out, 'b.md')), b'new notes', '/overwrite:always over overwrite=never')
        self.assertFalse(os.path.exists(os.path.join(out, 'a.txt')), '/names:*.md over names=*.txt')
        rows, _ = self.rows(self.path('r.jsonl'))
        self.assertEqual([unix(r['source']) for r in rows], [os.path.join(src, 'b.md')])
        for row in rows:
            self.check_on_disk(row)


class Output(ConsoleRun):
    def test_redirected_output_is_one_line_per_phase_and_the_totals(self):
        write(self.path('src/a.txt'), 'a')
        write(self.path('src/b.txt'), 'bb')
        code, out, err = self.sorvane('copy %s %s' % (q(win(self.path('src'))), q(win(self.path('out')))))
        self.assertEqual(code, 0, err)
        lines = out.splitlines()
        self.assertEqual(lines[:2], ['Counting the files that qualify...', 'Running: 2 files, 3 Bytes.'])
        self.assertEqual(lines[2:5], ['Total Files: 2', 'Completed Files: 2', 'Failed Files: 0'])
        self.assertTrue(lines[5].startswith('Report: C:\\'), lines)
        self.assertEqual(len(lines), 6)

    def test_japanese_texts_come_from_the_language_library(self):
        write(self.path('src/a.txt'), 'a')
        code, out, err = self.sorvane('copy %s %s' % (q(win(self.path('src'))), q(win(self.path('out')))),
                                      language='ja_JP.UTF-8')
        self.assertEqual(code, 0, err)
        self.assertEqual(out.splitlines()[0], '対象のファイルを数えています...')
        code, out, err = self.sorvane('copy %s' % q(win(self.path('src'))), language='ja_JP.UTF-8')
        self.assertEqual(code, 2)
        self.assertIn('出力先が必要です', err)

    def test_quiet_prints_errors_only(self):
        write(self.path('src/a.txt'), 'a')
        code, out, err = self.sorvane('copy %s %s /quiet' % (q(win(self.path('src'))), q(win(self.path('out')))))
        self.assertEqual((code, out, err), (0, '', ''))
        code, out, err = self.sorvane('copy %s %s /quiet' % (q(win(self.path('gone'))), q(win(self.path('out')))))
        self.assertEqual((code, out), (2, ''))
        self.assertIn('The source does not exist', err)


class Report(ConsoleRun):
    def test_the_reports_command_line_repeats_the_run(self):
        src = self.path('src dir')
        for n in ('a.txt', 'b.log', 'sub/c.txt', 'sub/deeper/d.txt'):
            write(os.path.join(src, n), n)
        out = self.path('out dir')
        code, stdout, err = self.sorvane('copy %s %s /names:*.txt;*.log /nosub /after:2001-01-01 /clone' % (
            q(win(src) + '\\;a.txt;sub'), q(win(out))))
        self.assertEqual(code, 0, err)
        first = sorted(os.path.relpath(os.path.join(d, f), out) for d, _, fs in os.walk(out) for f in fs)
        report = re.search(r'^Report: (C:\\.*)$', stdout, re.M).group(1).strip()
        prefix = os.environ['WINEPREFIX']
        text = read(os.path.join(prefix, 'drive_c', report[3:].replace('\\', '/'))).decode('utf-8')
        cell = re.search(r'<tr><td>Console command line</td><td>(.*?)</td></tr>', text).group(1)
        command = html.unescape(cell)
        self.assertTrue(command.startswith('SorvaneCmd.exe copy "'), command)
        shutil.rmtree(out)
        # From a .cmd file, its % doubled, as the README tells.
        code, _, err = self.script(['"%s"%s' % (win(PROGRAM), command[len('SorvaneCmd.exe'):].replace('%', '%%'))])
        self.assertEqual(code, 0, err)
        again = sorted(os.path.relpath(os.path.join(d, f), out) for d, _, fs in os.walk(out) for f in fs)
        self.assertEqual(again, first)
        self.assertEqual(first, ['a.txt', 'sub/c.txt'], 'b.log not selected; /nosub keeps sub\\deeper out')


class ProgressRow(ConsoleRun):
    def test_one_row_in_place_never_wider_than_the_buffer(self):
        # On another file system than the target, so that the move copies.
        shm = tempfile.mkdtemp(prefix='sorvane-cmd-', dir='/dev/shm')
        self.addCleanup(shutil.rmtree, shm, True)
        for i in range(40):
            write(os.path.join(shm, 'src', 'f%02d-%s.bin' % (i, 'long name ' * 8)), os.urandom(100000))
        write(os.path.join(shm, 'src', 'big.bin'), os.urandom(64 << 20))
        command = self.path('command.txt')
        write(command, '"%s" move %s %s' % (win(PROGRAM), q(win(os.path.join(shm, 'src'))), q(win(self.path('out')))))
        done = wine(win(PROBE), 'console', win(command), win(self.path('screen.txt')))
        self.assertEqual(done.returncode, 0)
        report = read(self.path('screen.txt')).decode('utf-8').splitlines()
        width = int(next(line for line in report if line.startswith('width='))[6:])
        progress = [line[9:].split('|', 1) for line in report if line.startswith('progress=')]
        self.assertGreaterEqual(len(set(text for _, text in progress)), 3, 'the row changed as the run went')
        self.assertEqual(len(set(row for row, _ in progress)), 1, 'always the same line: in place')
        for _, text in progress:
            self.assertLessEqual(len(text.rstrip()), width - 1, text)
        screen = [line.split('|', 1)[1] for line in report if line.startswith('row=')]
        self.assertEqual(len([line for line in screen if ' files  ' in line]), 1, screen)
        self.assertIn('Completed Files: 41', [line.rstrip() for line in screen])


def xxhsum_check(folder, name):
    """Debian's xxhsum -H2 -c run from the checksum file's folder: its exit
    code and {relative path: OK / FAILED / missing} of every line."""
    done = subprocess.run(['xxhsum', '-H2', '-c', name], cwd=folder, capture_output=True)
    states = {}
    for line in (done.stdout + done.stderr).decode('utf-8').splitlines():
        m = re.search(r"Could not open or read '(.+)'", line)
        path, _, state = line.rpartition(': ')
        if m:
            states[m.group(1)] = 'missing'
        elif path and state in ('OK', 'FAILED'):
            states[path] = state
    return done.returncode, states


class Sums(ConsoleRun):
    def setUp(self):
        super().setUp()
        # xxhsum is the independent reader of the checksum file: without
        # it, nothing here is shown.
        self.assertIsNotNone(shutil.which('xxhsum'), 'xxhsum (Debian package xxhash) is needed')

    def check_rows(self, jsonl, csv_path):
        """The rows of a check's JSON Lines (checked equal to its CSV) and
        its closing object."""
        objects = [json.loads(line) for line in read(jsonl).decode('utf-8').splitlines()]
        closing = objects.pop()
        with open(csv_path, encoding='utf-8-sig', newline='') as f:
            table = list(csv.DictReader(f))
        self.assertEqual([(r['source'], r['status']) for r in objects], [(r['source'], r['status']) for r in table])
        for row in objects:
            self.assertEqual(row['action'], 'check')
            self.assertIn(row['status'], ('good', 'changed', 'missing', 'unread', 'damaged'))
        return objects, closing

    def test_copy_writes_what_xxhsum_checks_and_check_finds_the_same_damage(self):
        src, out = self.path('src'), self.path('out')
        names = ['a.txt', 'with blanks.txt', '日本語 ファイル.txt', 'sub/deeper/b.bin', 'sub/c d.txt']
        for i, n in enumerate(names):
            write(os.path.join(src, n), os.urandom(1000 + 7919 * i))
        sums = os.path.join(out, 'sums.xxh128')
        code, stdout, err = self.sorvane('copy %s %s /verify /sums:%s /log:%s' % (
            q(win(src)), q(win(out)), q(win(sums)), q(win(self.path('run.jsonl')))))
        self.assertEqual(code, 0, stdout + err)
        self.assertIn('sums.xxh128', stdout)
        # One line per verified copy, in the copy's own hash, relative, with
        # forward slashes; the checksum file is not in it.
        run_rows, _ = self.rows(self.path('run.jsonl'))
        lines = read(sums).decode('utf-8').splitlines()
        listed = {line[34:]: line[:32] for line in lines}
        self.assertEqual(sorted(listed), sorted(names))
        for row in run_rows:
            self.assertEqual(row['status'], 'verified')
            relative = os.path.relpath(unix(row['target']), out).replace(os.sep, '/')
            self.assertEqual(listed[relative], row['xxh128'])
            self.assertEqual(listed[relative], xxh128(unix(row['target'])))

        xx_code, states = xxhsum_check(out, 'sums.xxh128')
        self.assertEqual(xx_code, 0)
        self.assertEqual(states, {n: 'OK' for n in names})

        # One byte of one copy changed, another copy gone: both readers
        # name exactly those two.
        changed, gone = 'with blanks.txt', 'sub/deeper/b.bin'
        with open(os.path.join(out, changed), 'r+b') as f:
            f.seek(500)
            byte = f.read(1)
            f.seek(500)
            f.write(bytes([byte[0] ^ 0x01]))
        os.remove(os.path.join(out, gone))
        xx_code, states = xxhsum_check(out, 'sums.xxh128')
        self.assertEqual(xx_code, 1)
        self.assertEqual({n: s for n, s in states.items() if s != 'OK'}, {changed: 'FAILED', gone: 'missing'})

        log, table = self.path('check.jsonl'), self.path('check.csv')
        code, stdout, err = self.sorvane('check %s /log:%s /csv:%s' % (q(win(sums)), q(win(log)), q(win(table))))
        self.assertEqual(code, 1, stdout + err)
        shown = {}
        for line in (stdout + err).splitlines():
            path, _, state = line.rpartition(': ')
            if path.startswith('Z:'):
                shown[os.path.relpath(unix(path), out).replace(os.sep, '/')] = state
        self.assertEqual(shown, dict({n: 'Good' for n in names}, **{changed: 'Changed', gone: 'Missing'}))
        rows, closing = self.check_rows(log, table)
        states = {os.path.relpath(unix(r['source']), out).replace(os.sep, '/'): r['status'] for r in rows}
        self.assertEqual(states, dict({n: 'good' for n in names}, **{changed: 'changed', gone: 'missing'}))
        self.assertEqual(closing['totals'], {'files': 5, 'good': 3, 'changed': 1, 'missing': 1, 'unread': 0,
                                             'damaged': 0})
        self.assertEqual((closing['end'], closing['exit_code']), ('completed', 1))

    def test_a_damaged_line_stops_no_other_and_a_clean_check_is_0(self):
        out = self.path('out')
        write(os.path.join(out, 'one.txt'), 'one')
        write(os.path.join(out, 'two.txt'), 'two')
        good = [subprocess.run(['xxhsum', '-H2', n], cwd=out, check=True, capture_output=True).stdout.decode()
                for n in ('one.txt', 'two.txt')]
        sums = os.path.join(out, 'all.xxh128')
        write(sums, good[0] + 'not a checksum line\n' + 'ZZ' * 16 + '  two.txt\n' + good[1])
        log, table = self.path('c.jsonl'), self.path('c.csv')
        code, stdout, err = self.sorvane('check %s /log:%s /csv:%s' % (q(win(sums)), q(win(log)), q(win(table))))
        self.assertEqual(code, 1, stdout + err)
        rows, closing = self.check_rows(log, table)
        self.assertEqual([r['status'] for r in rows], ['good', 'damaged', 'damaged', 'good'])
        self.assertEqual(rows[1]['source'], 'not a checksum line')
        self.assertEqual(closing['totals']['damaged'], 2)
        self.assertEqual(closing['exit_code'], 1)

        write(sums, ''.join(good))
        code, stdout, err = self.sorvane('check %s /quiet' % q(win(sums)))
        self.assertEqual((code, stdout.strip(), err.strip()), (0, '', ''))

    def test_a_checksum_file_named_as_a_source_is_refused_and_left_alone(self):
        src = self.path('src')
        write(self.path('src/a.txt'), 'a')
        write(self.path('src/s.xxh128'), 'an older checksum file')
        code, stdout, err = self.sorvane('copy %s %s /verify /sums:%s' % (
            q(win(src) + '\\;a.txt;s.xxh128'), q(win(self.path('src/o'))), q(win(self.path('src/s.xxh128')))))
        self.assertEqual(code, 2, stdout + err)
        self.assertIn('one of the sources', err)
        self.assertEqual(read(self.path('src/s.xxh128')), b'an older checksum file')
        self.assertFalse(os.path.exists(self.path('src/o')))

    def test_check_refuses_bad_arguments_and_an_unreadable_file_with_2(self):
        write(self.path('s.xxh128'), '')
        cases = [
            ('check', 'needs one checksum file'),
            ('check %s %s' % (q(win(self.path('s.xxh128'))), q(win(self.path('t.xxh128')))), 'Unexpected argument'),
            ('check %s /verify' % q(win(self.path('s.xxh128'))), 'Unknown switch'),
            ('check %s' % q(win(self.path('none.xxh128'))), 'cannot be read'),
            ('check %s' % q(win(self.root)), 'cannot be read'),
            ('check %s /log:%s' % (q(win(self.path('s.xxh128'))), q(win(self.path('s.xxh128')))), 'same file'),
        ]
        for arguments, cause in cases:
            with self.subTest(arguments=arguments):
                code, stdout, err = self.sorvane(arguments)
                self.assertEqual(code, 2, stdout + err)
                lines = [line for line in err.splitlines() if line.strip()]
                self.assertEqual(len(lines), 1, err)
                self.assertIn(cause, lines[0])
        self.assertEqual(read(self.path('s.xxh128')), b'', 'the checksum file is only read')


class CtrlC(ConsoleRun):
    def test_cancel_at_ten_points_loses_nothing(self):
        # Five large files: whichever order the walk takes, one is in hand
        # for most of the run, also on a fast disk. They are made once; each
        # point moves fresh copies of them.
        originals = self.path('originals')
        snapshot = {}
        files = [('s1.bin', 3000), ('s2.bin', 5000), ('s3.bin', 7000)]
        files += [('big%d.bin' % i, 64 << 20) for i in range(1, 6)]
        for name, size in files:
            data = os.urandom(size)
            write(os.path.join(originals, name), data)
            snapshot[name] = hashlib.sha256(data).hexdigest()
        delivered = set()
        for point in range(10):
            with self.subTest(point=point):
                delivered.add(self.cancel_once(originals, snapshot, delay=point * 10))
        print('delivered by:', delivered)

    def cancel_once(self, originals, snapshot, delay):
        shm = tempfile.mkdtemp(prefix='sorvane-cmd-', dir='/dev/shm')
        try:
            src, out = os.path.join(shm, 'src'), self.path('out-%d' % delay)
            shutil.copytree(originals, src)
            results = self.path('r-%d.jsonl' % delay)
            command, report = self.path('command.txt'), self.path('ctrlc-%d.txt' % delay)
            write(command, '"%s" move %s %s /log:%s' % (win(PROGRAM), q(win(src)), q(win(out)), q(win(results))))
            done = wine(win(PROBE), 'ctrlc', win(command), win(report), win(results), str(delay), win(out))
            probe = dict(line.split('=', 1) for line in read(report).decode().splitlines() if '=' in line)
            self.assertEqual(probe.get('ctrl_c'), '1', probe)
            self.assertGreaterEqual(int(probe['in_hand']), 1 << 20, 'a large file in hand')
            self.assertEqual(done.returncode, 3, probe)
            moved = [n for n in snapshot if os.path.exists(os.path.join(out, n))]
            kept = [n for n in snapshot if os.path.exists(os.path.join(src, n))]
            self.assertTrue(moved and kept, (moved, kept))
            for name, digest in snapshot.items():
                places = [p for p in (os.path.join(src, name), os.path.join(out, name)) if os.path.exists(p)]
                self.assertEqual(len(places), 1, name)
                self.assertEqual(hashlib.sha256(read(places[0])).hexdigest(), digest, 'whole: ' + places[0])
            self.assertEqual(glob.glob(os.path.join(out, '~sorvane-*')) + glob.glob(os.path.join(src, '~sorvane-*')), [])
            rows, closing = self.rows(results)
            self.assertEqual((closing['end'], closing['exit_code']), ('cancelled', 3))
            for row in rows:
                self.check_on_disk(row)
            return 'Ctrl+Break' if probe.get('break') == '1' else 'Ctrl+C'
        finally:
            shutil.rmtree(shm, True)


class Plan(ConsoleRun):
    """/plan against the run: random trees, operations and policies; the
    plan changes nothing, and after the same command runs without /plan
    every planned row is true on disk (never compared with the run's rows)
    and the run changed nothing the plan did not name."""

    def snapshot(self):
        found = {}
        for folder, folders, files in os.walk(self.root):
            for name in folders + files:
                path = os.path.join(folder, name)
                relative = os.path.relpath(path, self.root)
                if relative.split(os.sep)[0] in ('plan.jsonl', 'run.jsonl', 'command.txt', 'watch.txt'):
                    continue
                info = os.lstat(path)
                if os.path.isdir(path):
                    found[relative] = ('folder',)
                else:
                    found[relative] = (info.st_size, info.st_mtime_ns, info.st_mode, hashlib.sha256(read(path)).hexdigest())
        return found

    def make_case(self, rnd, operation=None):
        src, out = self.path('src'), self.path('out')
        names = ['a.txt', 'b.log', 'c.dat', 'Report.txt', 'x/d.txt', 'x/e.log', 'x/y/f.txt', 'z/g.dat', 'z/h.txt']
        for name in rnd.sample(names, rnd.randint(4, len(names))):
            path = os.path.join(src, name)
            write(path, 'source %s %d' % (name, rnd.randint(0, 999)) * rnd.randint(1, 40), mtime=rnd.choice(
                [1000000000, 1500000000, 2000000000]))
            if rnd.random() < 0.15:
                os.chmod(path, 0o444)
            if rnd.random() < 0.5:
                there = os.path.join(out, name)
                pick = rnd.random()
                if pick < 0.8:
                    write(there, 'old target of ' + name, mtime=rnd.choice([1000000000, 1500000000, 2000000000]))
                    if rnd.random() < 0.2:
                        os.chmod(there, 0o444)
                else:
                    write(os.path.join(there, 'inside.txt'), 'a folder of the file name')  # a folder in the way
        if os.path.isdir(self.path('src/z')) and not os.path.exists(os.path.join(out, 'z')) and rnd.random() < 0.3:
            write(os.path.join(out, 'z'), 'a file of the folder name')  # a file in the way
        os.makedirs(out, exist_ok=True)
        forced = operation is not None
        operation = operation or rnd.choice(['copy', 'move', 'move', 'delete', 'compress'])
        switches = ['/names:' + ('*.*' if forced else rnd.choice(['*.*', '*.txt', '*.txt;*.dat']))]
        if rnd.random() < 0.2:
            switches.append('/nosub')
        if operation in ('copy', 'move'):
            switches.append('/overwrite:' + rnd.choice(['always', 'newer', 'never']))
            switches.append('/verify' if rnd.random() < 0.5 else '/verify:no')
        if operation != 'compress' and rnd.random() < 0.5:
            switches.append('/protect')
        if operation == 'compress':
            switches.append('/archive:new')
            target = q(win(self.path('out', 'packed.lzh')))
        elif operation == 'delete':
            target = ''
        else:
            target = q(win(out))
        return '%s %s %s %s' % (operation, q(win(src)), target, ' '.join(switches)), operation

    def check_plan(self, plan, before, after, operation):
        def key(path):
            return os.path.relpath(unix(path), self.root)
        archived = ''
        if operation == 'compress' and os.path.exists(self.path('out', 'packed.lzh')):
            archived = subprocess.run(['lha', 'l', self.path('out', 'packed.lzh')], capture_output=True,
                                      text=True).stdout
        gone, written = set(), set()
        for row in plan:
            self.assertEqual(row['status'], 'planned')
            source = key(row['source'])
            target = key(row['target']) if row['target'] else None
            action, was, now = row['action'], before.get(source), after.get(source)
            if action in ('copy', 'replace', 'move_rename', 'move_copy'):
                self.assertEqual(after.get(target, (None,))[-1], was[-1], '%s: the target holds its source' % source)
                if action in ('copy', 'replace'):
                    self.assertEqual(target in before, action == 'replace', 'a replacement is planned as one: ' + source)
                if action.startswith('move'):
                    self.assertIsNone(now, 'moved: ' + source)
                    gone.add(source)
                else:
                    self.assertEqual(now, was, 'copied source unchanged: ' + source)
                written.add(target)
            elif action in ('keep_target', 'drop_source'):
                self.assertEqual(after.get(target), before.get(target), 'kept target: ' + source)
                if action == 'drop_source':
                    self.assertIsNone(now, 'dropped: ' + source)
                    gone.add(source)
                else:
                    self.assertEqual(now, was, source)
            elif action in ('delete', 'recycle'):
                self.assertIsNone(now, 'deleted: ' + source)
                gone.add(source)
            elif action == 'archive':
                self.assertIn(os.path.basename(source), archived, 'archived: ' + source)
                self.assertEqual(now, was, source)
            else:
                self.assertIn(action, ('skip', 'fail'))
                self.assertEqual(now, was, 'left alone: ' + source)
        for name, entry in before.items():
            if entry[0] != 'folder' and after.get(name) != entry:
                self.assertTrue(name in gone or name in written, 'changed without a plan: %s %s %s -> %s; planned: %s' % (
                    self.command, name, entry, after.get(name), [r for r in plan if name.split('/')[-1] in r['source']]))
        for name, entry in after.items():
            if entry[0] != 'folder' and name not in before and not name.endswith('.lzh'):
                self.assertIn(name, written, 'made without a plan: ' + name)

    def test_forty_random_plans_equal_their_runs(self):
        import random
        seen = {}
        cases_with = {}
        # Twenty cases of any operation, then twenty compresses, so that
        # every action occurs in twenty cases of the two tests together.
        for seed in range(40):
            with self.subTest(seed=seed):
                shutil.rmtree(self.root, True)
                os.makedirs(self.root)
                rnd = random.Random(4200 + seed)
                command, operation = self.make_case(rnd, None if seed < 20 else 'compress')
                before = self.snapshot()
                code, out, err = self.sorvane('%s /plan /log:%s' % (command, q(win(self.path('plan.jsonl')))))
                self.assertIn(code, (0, 1), err)
                self.assertEqual(self.snapshot(), before, 'a plan changes nothing: ' + command)
                plan, closing = self.rows(self.path('plan.jsonl'))
                self.assertEqual(closing['end'], 'planned')
                code, out, err = self.sorvane('%s /log:%s' % (command, q(win(self.path('run.jsonl')))))
                self.assertIn(code, (0, 1), err)
                self.command = command
                self.check_plan(plan, before, self.snapshot(), operation)
                for row in plan:
                    seen[row['action']] = seen.get(row['action'], 0) + 1
                for action in set(row['action'] for row in plan):
                    cases_with[action] = cases_with.get(action, 0) + 1
        print('[plan] through SorvaneCmd.exe: planned items per action', json.dumps(seen, sort_keys=True),
              '; cases per action', json.dumps(cases_with, sort_keys=True))
        for action in ('copy', 'replace', 'keep_target', 'move_rename', 'delete', 'skip', 'fail'):
            self.assertIn(action, seen)
        self.assertGreaterEqual(cases_with.get('archive', 0), 20, 'archive in twenty cases')


if __name__ == '__main__':
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(globals()[GROUP])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() and result.testsRun > 0 else 1)
