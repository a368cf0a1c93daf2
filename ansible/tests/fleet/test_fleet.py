# -*- coding: utf-8 -*-
# The collection as an operator uses it: built and installed with ansible-galaxy, its example
# playbook run against five hosts that are all this machine, each with its own simulator
# inventory, journal, state, discovery file and history. One host's HBA rejects the image.
# What happens is read from the simulators' journals, never from the modules' own word.
# VXINS_BUILD_DIR names the build folder holding vxins-host and the simulator (default build).

import inspect
import json
import os
import shutil
import subprocess
import tempfile
import unittest

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..', '..'))
BUILD = os.path.join(REPO, os.environ.get('VXINS_BUILD_DIR', 'build'))
HOST_TOOL = os.path.join(BUILD, 'tools', 'vxins-host', 'vxins-host')
HOSTS = ['node1', 'node2', 'node3', 'node4', 'node5']  # batches: 1-2, 3-4, 5
FAILING = 'node3'
REASON = 'image rejected'


def bus_dev(adapter):
    """The B:D vxins-host shows for an inventory adapter, from its first port's PCI path."""
    port = (adapter['fcPorts'] + adapter['ethPorts'])[0]
    return port['hardwarePath'][5:10]


class FleetTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        if not os.access(HOST_TOOL, os.X_OK):
            raise RuntimeError('no %s: build first (VXINS_BUILD_DIR)' % HOST_TOOL)
        cls.tmp = tempfile.mkdtemp(prefix='vxins-fleet-')
        cls.collections = os.path.join(cls.tmp, 'collections')
        cls.env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=cls.collections, ANSIBLE_NOCOLOR='1',
                       ANSIBLE_LOCAL_TEMP=os.path.join(cls.tmp, 'ansible-tmp'),
                       ANSIBLE_REMOTE_TEMP=os.path.join(cls.tmp, 'ansible-tmp'),
                       ANSIBLE_CALLBACK_PLUGINS=os.path.join(os.path.dirname(__file__),
                                                             'callback'),
                       ANSIBLE_CALLBACKS_ENABLED='vxins_record')
        for argv in (['ansible-galaxy', 'collection', 'build', os.path.join(REPO, 'ansible'),
                      '--output-path', cls.tmp],
                     ['ansible-galaxy', 'collection', 'install', '-p', cls.collections,
                      os.path.join(cls.tmp, 'qrvl-vxins-1.0.0.tar.gz')]):
            subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, env=cls.env)
        cls.package = os.path.join(cls.tmp, 'qrvl_boot_3100.tar')
        os.makedirs(os.path.join(cls.tmp, 'pkg', 'fw'))
        with open(os.path.join(cls.tmp, 'pkg', 'fw', 'boot.txt'), 'w') as f:
            f.write('<version>3.1.0.0</version>\n')
        subprocess.run(['tar', '--format=ustar', '--no-recursion', '-C',
                        os.path.join(cls.tmp, 'pkg'), '-cf', cls.package, 'fw', 'fw/boot.txt'],
                       check=True)
        with open(os.path.join(REPO, 'sim', 'inventories', 'default.json')) as f:
            machine = json.load(f)
        cls.bus_dev = {a['index']: bus_dev(a) for a in machine['adapters']}
        cls.hostvars = {}
        for host in HOSTS:
            folder = os.path.join(cls.tmp, host)
            os.makedirs(folder)
            if host == FAILING:
                machine['adapters'][0]['flash'] = {'result': 5, 'reason': REASON}
            with open(os.path.join(folder, 'inventory.json'), 'w') as f:
                json.dump(machine, f)
            machine['adapters'][0]['flash'] = {'result': 0}
            cls.hostvars[host] = dict(
                vxins_work_dir=os.path.join(folder, 'work'),
                vxins_history_db=os.path.join(folder, 'history.db'),
                vxins_environment=dict(
                    DZNAJ_SIM_INVENTORY=os.path.join(folder, 'inventory.json'),
                    DZNAJ_SIM_JOURNAL=os.path.join(folder, 'journal.jsonl'),
                    DZNAJ_SIM_STATE=os.path.join(folder, 'state.json'),
                    # One lock for all: the plug-in's trace log is one file per machine.
                    VXINS_LOCK_FILE=os.path.join(cls.tmp, 'vxins.lock')))
        cls.report_dir = os.path.join(cls.tmp, 'report')

    @classmethod
    def tearDownClass(cls):
        if os.environ.get('VXINS_KEEP_FLEET'):
            print('fleet test folder kept: %s' % cls.tmp)
        else:
            shutil.rmtree(cls.tmp)

    def playbook(self, *args):
        """Runs the installed example playbook; returns (exit status, results by task name
        and host, the fleet report)."""
        inventory = os.path.join(self.tmp, 'inventory.json')
        with open(inventory, 'w') as f:
            json.dump({'vxins_fleet': {'hosts': self.hostvars, 'vars': dict(
                ansible_connection='local',
                ansible_python_interpreter='{{ ansible_playbook_python }}',
                vxins_host_tool=HOST_TOOL, vxins_agent=os.path.join(BUILD, 'sim'),
                vxins_package=self.package, vxins_report_dir=self.report_dir)}}, f)
        record = os.path.join(self.tmp, 'record.jsonl')
        if os.path.exists(record):
            os.unlink(record)
        shutil.rmtree(self.report_dir, ignore_errors=True)
        run = subprocess.run(['ansible-playbook', '-i', inventory, 'qrvl.vxins.rolling_update']
                             + list(args), env=dict(self.env, VXINS_RECORD=record),
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             universal_newlines=True)
        self.output = run.stdout
        tasks = {}
        with open(record) as f:
            for line in f:
                r = json.loads(line)
                tasks.setdefault(r['task'], {})[r['host']] = r['result']
        with open(os.path.join(self.report_dir, 'fleet-report.json')) as f:
            report = {h['host']: h for h in json.load(f)['hosts']}
        return run.returncode, tasks, report

    def journal(self, host):
        return self.hostvars[host]['vxins_environment']['DZNAJ_SIM_JOURNAL']

    def calls(self, host):
        """Every agent call on a host, from its simulator's journal."""
        if not os.path.exists(self.journal(host)):
            return []
        with open(self.journal(host)) as f:
            return [json.loads(line) for line in f if line.strip()]

    def flashes(self, host):
        """The agent's flash calls on a host: (B:D, result) in call order."""
        return [(self.bus_dev[c['wwn']], c['result']) for c in self.calls(host)
                if c['symbol'] == 'hba_flashUpgrade']

    def flash_runs(self, host):
        """How many flash calls vxins-host recorded in the host's history."""
        history = subprocess.run([HOST_TOOL, '--json', '--history-db',
                                  self.hostvars[host]['vxins_history_db'], 'history'],
                                 stdout=subprocess.PIPE, check=True)
        return sum(r['command'] == 'flash' for r in json.loads(history.stdout)['runs'])

    def test_documentation(self):
        """ansible-doc shows each module, documenting exactly the options Ansible accepts, the
        role, and each filter, documenting exactly its function's arguments."""
        for module in ('vxins_discovery', 'vxins_update'):
            name = 'qrvl.vxins.' + module
            doc = subprocess.run(['ansible-doc', '--json', name], env=self.env, check=True,
                                 stdout=subprocess.PIPE, universal_newlines=True)
            documented = sorted(json.loads(doc.stdout)[name]['doc']['options'])
            probe = subprocess.run(['ansible', 'localhost', '-m', name,
                                    '-a', 'package=/x no_such=1'], env=self.env,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   universal_newlines=True)
            accepted = probe.stdout.split('Supported parameters include: ')[1].split('.')[0]
            self.assertEqual(documented, sorted(accepted.split(', ')), module)
        role = subprocess.run(['ansible-doc', '-t', 'role', 'qrvl.vxins.vxins_rollout'],
                              env=self.env, check=True, stdout=subprocess.PIPE,
                              universal_newlines=True)
        self.assertIn('vxins_package', role.stdout)
        # The licence is the package's copyright text, carried into the collection.
        installed = os.path.join(self.collections, 'ansible_collections', 'qrvl', 'vxins')
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
            doc = subprocess.run(['ansible-doc', '--json', '-t', 'filter', name], env=self.env,
                                 check=True, stdout=subprocess.PIPE, universal_newlines=True)
            doc = json.loads(doc.stdout)[name]
            self.assertTrue(doc['return'] and doc['examples'], name)
            documented = doc['doc']['positional'].split(', ')
            self.assertEqual(sorted(documented), sorted(doc['doc']['options']), name)
            parameters = list(inspect.signature(function).parameters)
            self.assertEqual(documented, ['_input'] + parameters[1:], name)

    def test_rollout(self):
        # Check mode: every host discovered, what would be flashed, no flash anywhere.
        rc, tasks, report = self.playbook('--check')
        self.assertEqual(rc, 0, self.output)
        for host in HOSTS:
            facts = tasks['Discover the adapters'][host]['ansible_facts']
            self.assertEqual([a['adapter'] for a in facts['vxins_adapters']],
                             ['0a:00', '81:00', '04:00'])
            self.assertEqual(len(facts['vxins_devices']), 8)
            self.assertEqual(facts['vxins_devices'][0]['proposed_action'], 'Upgrade')
            update = tasks['Update the adapters'][host]
            self.assertTrue(update['changed'])
            self.assertEqual([a['result'] for a in update['adapters']],
                             ['would flash', 'would flash', 'up to date'])
            self.assertEqual(self.flashes(host), [], host)
        checked = len(self.calls('node5'))
        self.assertGreater(checked, 0)

        # The rollout: batch 1 flashed, batch 2 flashed but node3's HBA failed, batch 3 untouched.
        rc, tasks, report = self.playbook()
        self.assertNotEqual(rc, 0, self.output)
        for host in ('node1', 'node2', 'node4'):
            self.assertEqual(self.flashes(host), [('0a:00', 0), ('81:00', 0)], host)
            self.assertEqual(report[host]['status'], 'changed')
        self.assertEqual(self.flashes(FAILING), [('0a:00', 5), ('81:00', 0)])
        self.assertEqual(report[FAILING]['status'], 'failed')
        self.assertIn(REASON, report[FAILING]['message'])
        self.assertEqual(len(self.calls('node5')), checked, 'node5 was touched')
        self.assertNotIn('node5', tasks['Update the adapters'])
        self.assertEqual(report['node5']['status'], 'not reached')
        # The report says what the journals say, adapter by adapter.
        for host in HOSTS:
            attempted = {(a['adapter'], a['result'], a['after']) for a in
                         report[host]['adapters'] if a['result'] in ('flashed', 'failed')}
            journal = {(bd, 'flashed' if r == 0 else 'failed', '3.1.0.0' if r == 0 else
                        {'0a:00': '3.0.2.1', '81:00': '3.2.0.0'}[bd])
                       for bd, r in self.flashes(host)}
            self.assertEqual(attempted, journal, host)
        with open(os.path.join(self.report_dir, 'fleet-report.txt')) as f:
            table = f.read()
        self.assertRegex(table, r'node3 +0a:00 +3\.0\.2\.1 +3\.0\.2\.1 +failed: ' + REASON)
        self.assertRegex(table, r'node5 +- +- +- +not reached')

        # Again on the hosts that succeeded: nothing left to flash, so no flash call; on node1
        # an empty list of adapters to update, with force, updates none.
        self.hostvars['node1'].update(vxins_only_adapters=[], vxins_force=True)
        rc, tasks, report = self.playbook('--limit', 'node1,node2,node4')
        del self.hostvars['node1']['vxins_only_adapters'], self.hostvars['node1']['vxins_force']
        self.assertEqual(rc, 0, self.output)
        for host in ('node1', 'node2', 'node4'):
            update = tasks['Update the adapters'][host]
            self.assertFalse(update['changed'], host)
            self.assertFalse(update['flash_called'], host)
            self.assertEqual(len(self.flashes(host)), 2, host)
            self.assertEqual(self.flash_runs(host), 1, host)
            self.assertEqual(report[host]['status'], 'unchanged')

        # Resume: the whole playbook again, node3's HBA left alone; node5 is updated at last.
        self.hostvars[FAILING]['vxins_skip'] = ['0a:00']
        rc, tasks, report = self.playbook()
        self.assertEqual(rc, 0, self.output)
        self.assertEqual(self.flashes('node5'), [('0a:00', 0), ('81:00', 0)])
        self.assertEqual(len(self.flashes(FAILING)), 2)
        self.assertEqual([a['result'] for a in report[FAILING]['adapters']],
                         ['skipped', 'up to date', 'up to date'])
        self.assertEqual({h: e['status'] for h, e in report.items()},
                         dict(node1='unchanged', node2='unchanged', node3='unchanged',
                              node4='unchanged', node5='changed'))


if __name__ == '__main__':
    unittest.main()
