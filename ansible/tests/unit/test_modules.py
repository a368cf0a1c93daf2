# -*- coding: utf-8 -*-
# The modules' main() as Ansible runs it, with vxins-host's answers as data (modules.yml): each
# row gives the module's arguments, the vxins-host command lines it must run in order with the
# canned answer of each, and the result Ansible must get. Ansible's own AnsibleModule parses the
# arguments and prints the result; only run_command is replaced, so no vxins-host runs here. The
# canned answers' shape is checked against the real vxins-host (CannedAnswersTest), and the fleet
# test runs everything for real. Runs on the Python that Ansible runs on (ansible/tests/run.sh).

import contextlib
import errno
import fcntl
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from unittest import mock

import yaml
from ansible.module_utils import basic
from ansible.module_utils.common import warnings as ansible_warnings

HERE = os.path.dirname(os.path.abspath(__file__))
COLLECTION = os.path.join(HERE, '..', '..')
with open(os.path.join(HERE, 'modules.yml'), encoding='utf-8') as f:
    CASES = yaml.safe_load(f)

# The arguments every row starts from; a row's args add to them or replace them.
DEFAULT_ARGS = dict(package='/srv/fw/3100/qrvl_boot_3100.tar', host_tool='/usr/bin/vxins-host',
                    work_dir='{work}', target_name='san-a01')
# Compared in every row (a row that leaves them out expects these values); every other key of
# a row's result is compared only when the row names it.
ALWAYS = dict(changed=False, failed=False, warnings=[], msg=None)


def fill(value, work):
    """A row's value with {work}, the row's own work folder, filled in."""
    if isinstance(value, str):
        return value.replace('{work}', work)
    if isinstance(value, list):
        return [fill(v, work) for v in value]
    if isinstance(value, dict):
        return {k: fill(v, work) for k, v in value.items()}
    return value


def import_collection():
    """Imports the modules as Ansible names them (ansible_collections.qrvl.vxins...), from this
    tree: a folder holding ansible_collections/qrvl/vxins, a link to the collection, goes first
    on sys.path."""
    root = tempfile.mkdtemp(prefix='vxins-collection-')
    os.makedirs(os.path.join(root, 'ansible_collections', 'qrvl'))
    os.symlink(os.path.abspath(COLLECTION), os.path.join(root, 'ansible_collections', 'qrvl',
                                                         'vxins'))
    sys.path.insert(0, root)
    from ansible_collections.qrvl.vxins.plugins.modules import vxins_discovery, vxins_update
    return root, dict(vxins_discovery=vxins_discovery, vxins_update=vxins_update)


class CannedHost(object):
    """Stands for vxins-host: checks each command line against the row's next expected one (and
    that the module adds nothing to its environment) and answers with its canned exit status,
    output and error text."""

    def __init__(self, test, calls, work):
        self.test, self.calls, self.work, self.ran = test, list(calls), work, 0

    def run_command(self, argv, **kwargs):
        self.test.assertLess(self.ran, len(self.calls), 'unexpected vxins-host call %s' % argv)
        call = self.calls[self.ran]
        self.ran += 1
        expected_argv, rc, out = fill(call[:3], self.work)
        self.test.assertEqual(argv, expected_argv, 'vxins-host call %d' % self.ran)
        self.test.assertEqual(kwargs.get('cwd'), self.work, 'vxins-host runs in the work folder')
        self.test.assertNotIn('environ_update', kwargs,
                              'environment of vxins-host call %d' % self.ran)
        if isinstance(rc, str):  # the call could not start: rc names the errno
            raise OSError(getattr(errno, rc), os.strerror(getattr(errno, rc)))
        err = call[3] if len(call) > 3 else ''
        return rc, out if isinstance(out, str) else json.dumps(out), err


class ModuleTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.root, cls.modules = import_collection()

    @classmethod
    def tearDownClass(cls):
        sys.path.remove(cls.root)
        shutil.rmtree(cls.root)

    def run_module(self, name, row, work):
        """The module's result as Ansible would read it from its output."""
        args = fill(dict(DEFAULT_ARGS, **row.get('args', {})), work)
        args.update(_ansible_check_mode=row.get('check_mode', False),
                    _ansible_diff=row.get('diff', False), _ansible_remote_tmp=work,
                    _ansible_keep_remote_files=False)
        host = CannedHost(self, row['calls'], work)
        for pending in (ansible_warnings._global_warnings, ansible_warnings._global_deprecations):
            del pending[:]  # Ansible keeps them process-wide; each row is a run of its own
        out = io.StringIO()
        with mock.patch.object(basic, '_ANSIBLE_ARGS',
                               json.dumps(dict(ANSIBLE_MODULE_ARGS=args)).encode()), \
                mock.patch.object(basic.AnsibleModule, 'run_command', host.run_command), \
                contextlib.redirect_stdout(out), self.assertRaises(SystemExit):
            self.modules[name].main()
        self.assertEqual(host.ran, len(host.calls), 'vxins-host calls left unmade')
        return json.loads(out.getvalue())

    def assertMatches(self, actual, expected, path):
        """expected's keys, recursively; lists element by element, of equal length."""
        if isinstance(expected, dict):
            for key, value in expected.items():
                self.assertIn(key, actual, '%s: no %s' % (path, key))
                self.assertMatches(actual[key], value, '%s.%s' % (path, key))
        elif isinstance(expected, list):
            self.assertEqual(len(actual), len(expected), '%s: %r' % (path, actual))
            for i, (a, e) in enumerate(zip(actual, expected)):
                self.assertMatches(a, e, '%s[%d]' % (path, i))
        else:
            self.assertEqual(actual, expected, path)

    def check_rows(self, name):
        for row in CASES[name]:
            with self.subTest(row['id']):
                work = tempfile.mkdtemp(prefix='vxins-unit-')
                try:
                    result = self.run_module(name, row, work)
                    expected = fill(dict(ALWAYS, **row['result']), work)
                    actual = dict({k: result.get(k, v) for k, v in ALWAYS.items()}, **result)
                    self.assertMatches(actual, expected, name)
                finally:
                    shutil.rmtree(work)

    def test_vxins_discovery(self):
        self.check_rows('vxins_discovery')

    def test_vxins_update(self):
        self.check_rows('vxins_update')


def shape(value):
    """A JSON value's paths and types: lists by their elements, null as any type."""
    if isinstance(value, dict):
        return {(k,) + p for k, v in value.items() for p in shape(v)} | {(k,) for k in value}
    if isinstance(value, list):
        return {('[]',) + p for v in value for p in shape(v)}
    return {(type(value).__name__,)} if value is not None else set()


class CannedAnswersTest(unittest.TestCase):
    """Every key and type of the canned answers is one the real vxins-host prints for the same
    command, against the simulator: rows cannot feed the modules JSON vxins-host never writes."""

    def test_canned_answers_are_real_shapes(self):
        build = os.path.join(COLLECTION, '..', os.environ.get('VXINS_BUILD_DIR', 'build'))
        tool = os.path.join(build, 'tools', 'vxins-host', 'vxins-host')
        if not os.access(tool, os.X_OK):
            self.skipTest('no %s: build vxins-host and the simulator first' % tool)
        if os.environ.get('VXINS_PRIVATE_LOG') != '1':
            self.skipTest('runs the plug-in, whose trace log is the whole machine\'s: run it '
                          'through ansible/tests/run.sh as root, which gives it a /var/log of '
                          'its own')
        tmp = tempfile.mkdtemp(prefix='vxins-shapes-')
        try:
            real = self.real_answers(tool, os.path.join(build, 'sim'), tmp)
        finally:
            shutil.rmtree(tmp)
        for name, answer in CASES['answers'].items():
            with self.subTest(name):
                self.assertIn(answer['command'], real)
                self.assertEqual(shape(answer) - real[answer['command']], set())

    @staticmethod
    def real_answers(tool, sim, tmp):
        """The shapes of what vxins-host printed, per command, in runs that go through each kind
        of canned answer: discover, select (an entry that names a function, one that names
        nothing), Skip an adapter, a flash whose HBA rejects the image, a Skip on a file that is
        not there, a discovery that finds no adapter, one with a warning, devices with and
        without adapters, and discover, set-action and flash while another process holds the
        run lock."""
        with open(os.path.join(COLLECTION, '..', 'sim', 'inventories', 'default.json')) as f:
            machine = json.load(f)
        machine['adapters'][0]['flash'] = {'result': 5, 'reason': 'image rejected'}
        for name, inventory in (('machine.json', machine), ('none.json', {'adapters': []})):
            with open(os.path.join(tmp, name), 'w') as f:
                json.dump(inventory, f)
        os.makedirs(os.path.join(tmp, 'pkg', 'fw'))
        os.makedirs(os.path.join(tmp, 'firmware'))
        with open(os.path.join(tmp, 'pkg', 'fw', 'boot.txt'), 'w') as f:
            f.write('<version>3.1.0.0</version>\n')
        package = os.path.join(tmp, 'firmware', 'qrvl_boot_3100.tar')
        subprocess.run(['tar', '--format=ustar', '--no-recursion', '-C', os.path.join(tmp, 'pkg'),
                        '-cf', package, 'fw', 'fw/boot.txt'], check=True)
        discovery = os.path.join(tmp, 'discovery.xml')
        lock = os.path.join(tmp, 'lock')
        plugin = ['--agent', sim, '--history-db', os.path.join(tmp, 'history.db')]
        discover = plugin + ['discover', discovery, os.path.dirname(package)]
        runs = [('machine', discover),
                ('machine', ['select', discovery, '--', '81:00.1']),
                ('machine', ['select', discovery, '--', '0000:99:00.0']),
                ('machine', ['set-action', discovery, 'Skip', '--adapter', '04:00']),
                ('machine', plugin + ['flash', discovery, package]),
                ('machine', ['set-action', os.path.join(tmp, 'none.xml'), 'Skip', '--all']),
                ('none', discover),
                ('machine', plugin + ['discover', discovery, os.path.join(tmp, 'missing')]),
                ('machine', ['--agent', sim, 'devices']),
                ('none', ['--agent', sim, 'devices'])]
        held = [('machine', ['--lock-timeout', '0'] + argv) for argv in (
            discover, ['set-action', discovery, 'Skip', '--adapter', '0a:00'],
            plugin + ['flash', discovery, package])]
        shapes = {}

        def run(inventory, argv):
            env = dict(os.environ, DZNAJ_SIM_INVENTORY=os.path.join(tmp, inventory + '.json'),
                       DZNAJ_SIM_STATE=os.path.join(tmp, 'state.json'), VXINS_LOCK_FILE=lock,
                       VXINS_REBOOT_MARKER=os.path.join(tmp, 'reboot-pending'),
                       VXINS_HISTORY_DB=os.path.join(tmp, 'history.db'))
            done = subprocess.run([tool, '--json'] + argv, cwd=tmp, env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            answer = json.loads(done.stdout)
            shapes.setdefault(answer['command'], set()).update(shape(answer))
        for inventory, argv in runs:
            run(inventory, argv)
        with open(lock, 'w') as holder:
            holder.write('pid %d: the canned answers\' shape check\n' % os.getpid())
            holder.flush()
            fcntl.flock(holder, fcntl.LOCK_EX)
            for inventory, argv in held:
                run(inventory, argv)
        return shapes


if __name__ == '__main__':
    unittest.main()
