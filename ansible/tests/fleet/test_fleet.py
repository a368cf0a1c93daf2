# -*- coding: utf-8 -*-
# The collection as an operator uses it: built and installed with ansible-galaxy, its playbooks
# run against simulated hosts that are all this machine (fleet.py). The package says 3.2.0. The
# hosts of the rollout, in batches of two:
#   node1  the built-in machine (HBA 3.0.2.1, CNA 3.2.0.0_b17, Ethernet 3.1.0.0); its skip names
#          a function of the Ethernet adapter by B:D.F
#   node2  its CNA at 3.2.0.0 (the package's version, spelled longer) and its Ethernet adapter
#          at 3.3.0.0 (a downgrade)
#   node3  its HBA rejects the image
#   node4  no adapters
#   node5  the built-in machine, in the batch the failure stops
# and, only where a step adds them, hosts whose lock is held or belongs to another user, and one
# whose skip is unquoted in YAML.

import fcntl
import glob
import inspect
import json
import os
import pwd
import subprocess
import unittest

from fleet import MACHINE, REPO, Fleet, machine

HOSTS = ['node1', 'node2', 'node3', 'node4', 'node5']
FAILING = 'node3'
REASON = 'image rejected'
OFFERED = '3.2.0'
UPGRADED = [('0a:00', 0), ('81:00', 0), ('04:00', 0)]  # the built-in machine, flashed whole


class FleetTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.fleet = Fleet(OFFERED, keep=bool(os.environ.get('VXINS_KEEP_FLEET')))
        f = cls.fleet
        f.add_host('node1', MACHINE, vxins_skip=['04:00.1'])
        f.add_host('node2', machine(**{'81:00': dict(flashedBiosVersion='3.2.0.0'),
                                       '04:00': dict(flashedBiosVersion='3.3.0.0')}))
        f.add_host(FAILING, machine(**{'0a:00': dict(flash=dict(result=5, reason=REASON))}))
        f.add_host('node4', {'adapters': []})
        f.add_host('node5', MACHINE)

    @classmethod
    def tearDownClass(cls):
        cls.fleet.close()

    def rollout(self, *args):
        rc, tasks = self.fleet.playbook(*args)
        return rc, tasks, self.fleet.report()

    def test_documentation(self):
        """ansible-doc shows each module, documenting exactly the options Ansible accepts, the
        role's entry points, and each filter, documenting exactly its function's arguments."""
        env = self.fleet.env
        for module in ('vxins_discovery', 'vxins_update'):
            name = 'qrvl.vxins.' + module
            doc = subprocess.run(['ansible-doc', '--json', name], env=env, check=True,
                                 stdout=subprocess.PIPE, universal_newlines=True)
            documented = sorted(json.loads(doc.stdout)[name]['doc']['options'])
            probe = subprocess.run(['ansible', 'localhost', '-m', name,
                                    '-a', 'package=/x no_such=1'], env=env,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   universal_newlines=True)
            accepted = probe.stdout.split('Supported parameters include: ')[1].split('.')[0]
            self.assertEqual(documented, sorted(accepted.split(', ')), module)
        role = subprocess.run(['ansible-doc', '--json', '-t', 'role', 'qrvl.vxins.vxins_rollout'],
                              env=env, check=True, stdout=subprocess.PIPE,
                              universal_newlines=True)
        entry_points = json.loads(role.stdout)['qrvl.vxins.vxins_rollout']['entry_points']
        self.assertEqual(sorted(entry_points), ['inventory', 'main'])
        self.assertIn('vxins_allow_downgrade', entry_points['main']['options'])
        # The licence is the package's copyright text, carried into the collection.
        installed = os.path.join(self.fleet.collections, 'ansible_collections', 'qrvl', 'vxins')
        with open(os.path.join(installed, 'MANIFEST.json')) as f:
            license_file = json.load(f)['collection_info']['license_file']
        with open(os.path.join(installed, license_file)) as f, \
                open(os.path.join(REPO, 'packaging', 'copyright')) as g:
            self.assertEqual(f.read(), g.read())
        # Each filter's documented arguments, in order, are its function's parameters.
        filters = {}
        with open(os.path.join(installed, 'plugins', 'filter', 'vxins.py')) as f:
            exec(f.read(), filters)
        for name, function in filters['FilterModule']().filters().items():
            name = 'qrvl.vxins.' + name
            doc = subprocess.run(['ansible-doc', '--json', '-t', 'filter', name], env=env,
                                 check=True, stdout=subprocess.PIPE, universal_newlines=True)
            doc = json.loads(doc.stdout)[name]
            self.assertTrue(doc['return'] and doc['examples'], name)
            documented = doc['doc']['positional'].split(', ')
            self.assertEqual(sorted(documented), sorted(doc['doc']['options']), name)
            parameters = list(inspect.signature(function).parameters)
            self.assertEqual(documented, ['_input'] + parameters[1:], name)

    def test_rollout(self):
        f = self.fleet
        f.report_dir = os.path.join(f.tmp, 'rollout-reports')
        reports = []

        # Check mode: one discovery per host, what would be flashed with the offered version
        # and the direction, no flash anywhere, nothing left in the work folders.
        rc, tasks, report = self.rollout('--check', '--diff')
        self.assertEqual(rc, 0, f.output)
        reports.append(report)
        for host in HOSTS:
            self.assertEqual(f.flashes(host), [], host)
            self.assertEqual((f.runs(host)['discover'], f.runs(host)['flash']), (1, 0), host)
            self.assertFalse(os.path.exists(f.hostvars[host]['vxins_work_dir']), host)
            update = tasks['Update the adapters'][host]
            self.assertFalse(os.path.exists(os.path.dirname(update['discovery_file'])),
                             'the check left its temporary folder on ' + host)
        update = tasks['Update the adapters']['node1']
        facts = update['ansible_facts']['vxins_adapters']
        self.assertEqual([(a['adapter'], a['active_version'], a['up_to_date']) for a in facts],
                         [('0a:00', '3.0.2.1', False), ('81:00', '3.2.0.0_b17', False),
                          ('04:00', '3.1.0.0', False)])
        self.assertEqual(len(update['ansible_facts']['vxins_devices']), 8)
        self.assertEqual([(a['offered'], a['direction'], a['result'])
                          for a in update['adapters']],
                         [(OFFERED, 'upgrade', 'would flash'), (OFFERED, 'reinstall',
                                                                'would flash'),
                          (OFFERED, 'upgrade', 'skipped')])
        self.assertEqual([(a['direction'], a['result'])
                          for a in tasks['Update the adapters']['node2']['adapters']],
                         [('upgrade', 'would flash'), ('reinstall', 'up to date'),
                          ('downgrade', 'downgrade not allowed')])
        self.assertIn('+' + OFFERED, f.output)  # --diff: the version offered per adapter
        self.assertIn('-3.2.0.0_b17', f.output)
        self.assertEqual(report['hosts']['node1']['status'], 'would change')
        self.assertEqual(report['hosts']['node4']['status'], 'nothing to do')
        self.assertIn('check mode: nothing was flashed', f.table())

        # The rollout: batch 1 flashed; batch 2 flashed but node3's HBA failed, node4 has
        # nothing to do; batch 3 untouched.
        rc, tasks, report = self.rollout()
        reports.append(report)
        self.assertNotEqual(rc, 0, f.output)
        self.assertEqual(f.flashes('node1'), UPGRADED[:2])  # 04:00 skipped by its B:D.F
        self.assertEqual(f.flashes('node2'), UPGRADED[:1])  # CNA up to date, no downgrade
        self.assertEqual(f.flashes(FAILING), [('0a:00', 5), ('81:00', 0), ('04:00', 0)])
        self.assertEqual(f.flashes('node5'), [])
        self.assertNotIn('node5', tasks['Update the adapters'])
        self.assertEqual({h: e['status'] for h, e in report['hosts'].items()},
                         dict(node1='changed', node2='changed', node3='failed',
                              node4='nothing to do', node5='not reached'))
        self.assertIn(REASON, report['hosts'][FAILING]['message'])
        self.assertIn(FAILING, report['hosts'][FAILING]['message'])
        self.assertEqual((report['package'], report['package_version']),
                         ('qrvl_boot.tar', OFFERED))
        self.assertTrue(report['started'])
        for host in ('node1', 'node2', FAILING, 'node4'):
            self.assertEqual(f.runs(host)['discover'], 2, 'one discovery per run: ' + host)
        # The report says what the journals say, adapter by adapter, and keeps the history ids.
        for host in HOSTS:
            attempted = {(a['adapter'], a['result'], a['after']) for a in
                         report['hosts'][host]['adapters'] if a['result'] in ('flashed',
                                                                               'failed')}
            journal = {(bd, 'flashed' if r == 0 else 'failed', OFFERED if r == 0 else '3.0.2.1')
                       for bd, r in f.flashes(host)}
            self.assertEqual(attempted, journal, host)
        self.assertEqual(len(report['hosts']['node1']['history_ids']), 2)
        table = f.table()
        self.assertRegex(table, r'node3 +0a:00 +3\.0\.2\.1 +3\.2\.0 +upgrade +3\.0\.2\.1 +'
                                r'failed: ' + REASON)
        self.assertRegex(table, r'node5 +(- +){5}not reached')
        self.assertIn('reboot pending: node1 node2 node3\n', table)

        # Resume: the whole playbook again, node3's HBA left alone. node5 is updated at last;
        # the hosts flashed before still wait for their reboot, and the report says so.
        f.hostvars[FAILING]['vxins_skip'] = ['0a:00']
        rc, tasks, report = self.rollout()
        reports.append(report)
        self.assertEqual(rc, 0, f.output)
        self.assertEqual(f.flashes('node5'), UPGRADED)
        self.assertEqual(len(f.flashes(FAILING)), 3)
        self.assertEqual([a['result'] for a in report['hosts'][FAILING]['adapters']],
                         ['skipped', 'up to date', 'up to date'])
        self.assertEqual({h: e['status'] for h, e in report['hosts'].items()},
                         dict(node1='unchanged', node2='unchanged', node3='unchanged',
                              node4='nothing to do', node5='changed'))
        self.assertIn('reboot pending: node1 node2 node3 node5\n', f.table())
        self.assertEqual(report['hosts']['node1']['reboot_runs'],
                         reports[1]['hosts']['node1']['history_ids'][1:])

        # A no-op run: nothing flashed, and the recap says so for every host.
        rc, tasks, report = self.rollout()
        reports.append(report)
        self.assertEqual(rc, 0, f.output)
        self.assertEqual({h: e['changed'] for h, e in f.recap().items()},
                         {h: 0 for h in HOSTS}, f.output)
        self.assertEqual(f.flashes('node1'), UPGRADED[:2])  # the _b17 CNA, flashed once
        self.assertEqual(f.flashes('node2'), UPGRADED[:1])
        for host in HOSTS:
            self.assertFalse(tasks['Update the adapters'][host]['flash_called'], host)
            self.assertEqual(f.runs(host)['discover'], 4 if host != 'node5' else 3, host)

        # One report per run beside the latest.
        stamped = sorted(glob.glob(os.path.join(f.report_dir, 'fleet-report-*.json')))
        self.assertEqual(len(stamped), len(reports))
        with open(stamped[-1]) as g:
            self.assertEqual(json.load(g)['started'], report['started'])

        # The downgrade host, with allow_downgrade: its Ethernet adapter is flashed.
        f.hostvars['node2']['vxins_allow_downgrade'] = True
        rc, tasks, report = self.rollout('--limit', 'node2')
        del f.hostvars['node2']['vxins_allow_downgrade']
        self.assertEqual(rc, 0, f.output)
        self.assertEqual(f.flashes('node2'), [('0a:00', 0), ('04:00', 0)])
        self.assertEqual(tasks['Update the adapters']['node2']['adapters'][2]['direction'],
                         'downgrade')

    def test_hosts_that_fail_before_flashing(self):
        """A lock another process holds (the host fails within its lock_timeout, naming the
        holder), a lock folder that belongs to another user (refused), an unquoted skip
        (refused), a work folder that cannot be made (the role's own failure, naming the host
        too), and a batch size of 0 (refused): nothing is flashed, nothing even discovered."""
        f = self.fleet
        held = os.path.join(f.tmp, 'held.lock')
        foreign = os.path.join(f.tmp, 'foreign-lock')
        os.makedirs(foreign)
        nobody = pwd.getpwnam('nobody')
        os.chown(foreign, nobody.pw_uid, nobody.pw_gid)
        f.add_host('held', MACHINE, lock=held, vxins_lock_timeout=2)
        f.add_host('foreign', MACHINE, lock=os.path.join(foreign, 'run.lock'),
                   vxins_lock_timeout=2)
        f.add_host('unquoted', MACHINE, vxins_skip=[4860])
        blocked = f.add_host('blocked', MACHINE)
        f.hostvars['blocked']['vxins_work_dir'] = os.path.join(blocked, 'inventory.json', 'work')
        added = ['held', 'foreign', 'unquoted', 'blocked']
        holder = 'pid %d: the fleet test holding the lock' % os.getpid()
        try:
            with open(held, 'w') as lock:
                lock.write(holder + '\n')
                lock.flush()
                fcntl.flock(lock, fcntl.LOCK_EX)
                rc, tasks = f.playbook('--limit', ','.join(added), '-e', 'vxins_batch=4')
            self.assertNotEqual(rc, 0, f.output)
            failures = tasks['Update the adapters']
            self.assertNotIn('blocked', failures)
            self.assertIn(holder, failures['held']['msg'])
            self.assertIn('gave up after 2', failures['held']['msg'])
            self.assertEqual(failures['held'].get('lock_holder'), holder)
            self.assertIn('the lock folder %s belongs to user %d' % (foreign, nobody.pw_uid),
                          failures['foreign']['msg'])
            self.assertRegex(failures['unquoted']['msg'], r'^unquoted: .*4860.*quote it')
            report = f.report()
            self.assertTrue(report['hosts']['blocked']['message'].startswith(
                "Make the package's folder: blocked: "), report['hosts']['blocked'])
            for host in added:
                self.assertEqual(report['hosts'][host]['status'], 'failed', host)
                self.assertEqual(f.calls(host), [], host)
                self.assertEqual(f.runs(host)['flash'], 0, host)

            rc, tasks = f.playbook('--limit', 'unquoted', '-e', 'vxins_batch=0')
            self.assertNotEqual(rc, 0, f.output)
            self.assertIn('vxins_batch is 0', f.output)
            self.assertNotIn('Update the adapters', tasks)
        finally:
            for host in added:
                del f.hostvars[host]

    def test_inventory_without_a_package(self):
        """The discovery-only playbook lists every host's adapters and active versions through
        vxins-host devices, flashes nothing, and writes the fleet inventory."""
        f = self.fleet
        before = {host: len(f.calls(host)) for host in HOSTS}
        flashes = {host: f.flashes(host) for host in HOSTS}
        rc, tasks = f.playbook('-e', '{"vxins_package": null}',
                               playbook='qrvl.vxins.fleet_inventory')
        self.assertEqual(rc, 0, f.output)
        inventory = f.report('fleet-inventory')
        for host in HOSTS:
            self.assertEqual(f.flashes(host), flashes[host], host)
            self.assertGreater(len(f.calls(host)), before[host], host)
        self.assertEqual(inventory['hosts']['node4']['status'], 'no adapters')
        listed = tasks['List the adapters']['node2']['ansible_facts']['vxins_adapters']
        self.assertEqual([(a['adapter'], a['offered_version']) for a in listed],
                         [('0a:00', None), ('81:00', None), ('04:00', None)])
        self.assertEqual(inventory['hosts']['node2']['adapters'], listed)
        self.assertRegex(f.table('fleet-inventory'), r'node2 +0a:00 +2 +\S+ +- +- +Quorvel')


if __name__ == '__main__':
    unittest.main()
