# -*- coding: utf-8 -*-
# A fleet of simulated hosts that are all this machine, for the fleet test and the scale run:
# the collection built and installed with ansible-galaxy, a firmware package made by tar, and
# per host its own simulator inventory, journal and state, history database, reboot marker and
# work folder, in host variables. What happened is read from the simulators' journals and the
# histories, never from the modules' own word. VXINS_BUILD_DIR names the build folder holding
# vxins-host and the simulator (default build).

import collections
import copy
import json
import os
import re
import shutil
import subprocess
import tempfile

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..', '..'))
BUILD = os.path.join(REPO, os.environ.get('VXINS_BUILD_DIR', 'build'))
HOST_TOOL = os.path.join(BUILD, 'tools', 'vxins-host', 'vxins-host')

with open(os.path.join(REPO, 'sim', 'inventories', 'default.json')) as f:
    MACHINE = json.load(f)  # an HBA at 3.0.2.1, a CNA at 3.2.0.0_b17, Ethernet at 3.1.0.0


def bus_dev(adapter):
    """The B:D vxins-host shows for an inventory adapter, from its first port's PCI path."""
    port = (adapter.get('fcPorts', []) + adapter.get('ethPorts', []))[0]
    return port['hardwarePath'][5:10]


BUS_DEV = {a['index']: bus_dev(a) for a in MACHINE['adapters']}


def machine(**changes):
    """The simulator's built-in machine with some adapters changed, by B:D: e.g.
    machine(**{'0a:00': dict(flash=dict(result=5, reason='image rejected'))})."""
    inventory = copy.deepcopy(MACHINE)
    for adapter in inventory['adapters']:
        adapter.update(changes.get(bus_dev(adapter), {}))
    return inventory


class Fleet(object):

    def __init__(self, package_version, keep=False):
        if not os.access(HOST_TOOL, os.X_OK):
            raise RuntimeError('no %s: build first (VXINS_BUILD_DIR)' % HOST_TOOL)
        self.keep = keep
        self.tmp = tempfile.mkdtemp(prefix='vxins-fleet-')
        self.collections = os.path.join(self.tmp, 'collections')
        self.env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=self.collections,
                        ANSIBLE_NOCOLOR='1', ANSIBLE_HOST_KEY_CHECKING='0',
                        ANSIBLE_LOCAL_TEMP=os.path.join(self.tmp, 'ansible-tmp'),
                        ANSIBLE_REMOTE_TEMP=os.path.join(self.tmp, 'ansible-tmp'),
                        ANSIBLE_CALLBACK_PLUGINS=os.path.join(os.path.dirname(__file__),
                                                              'callback'),
                        ANSIBLE_CALLBACKS_ENABLED='vxins_record')
        for argv in (['ansible-galaxy', 'collection', 'build', os.path.join(REPO, 'ansible'),
                      '--output-path', self.tmp],
                     ['ansible-galaxy', 'collection', 'install', '-p', self.collections,
                      os.path.join(self.tmp, 'qrvl-vxins-1.0.0.tar.gz')]):
            subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, env=self.env)
        self.package = os.path.join(self.tmp, 'qrvl_boot.tar')
        os.makedirs(os.path.join(self.tmp, 'pkg', 'fw'))
        with open(os.path.join(self.tmp, 'pkg', 'fw', 'boot.txt'), 'w') as f:
            f.write('<version>%s</version>\n' % package_version)
        subprocess.run(['tar', '--format=ustar', '--no-recursion', '-C',
                        os.path.join(self.tmp, 'pkg'), '-cf', self.package, 'fw', 'fw/boot.txt'],
                       check=True)
        self.report_dir = os.path.join(self.tmp, 'report')
        # One lock for the hosts that share it: the plug-in's trace log is one file per machine.
        self.lock = os.path.join(self.tmp, 'vxins.lock')
        self.hostvars = collections.OrderedDict()
        self.output = ''

    def close(self):
        if self.keep:
            print('fleet folder kept: %s' % self.tmp)
        else:
            shutil.rmtree(self.tmp)

    def add_host(self, name, inventory, lock=None, **variables):
        folder = os.path.join(self.tmp, name)
        os.makedirs(folder)
        with open(os.path.join(folder, 'inventory.json'), 'w') as f:
            json.dump(inventory, f)
        self.hostvars[name] = dict(
            vxins_work_dir=os.path.join(folder, 'work'),
            vxins_history_db=os.path.join(folder, 'history.db'),
            vxins_environment=dict(
                DZNAJ_SIM_INVENTORY=os.path.join(folder, 'inventory.json'),
                DZNAJ_SIM_JOURNAL=os.path.join(folder, 'journal.jsonl'),
                DZNAJ_SIM_STATE=os.path.join(folder, 'state.json'),
                VXINS_REBOOT_MARKER=os.path.join(folder, 'reboot-pending'),
                VXINS_LOCK_FILE=lock or self.lock),
            **variables)
        return folder

    def playbook(self, *args, playbook='qrvl.vxins.rolling_update'):
        """Runs one of the installed collection's playbooks on the fleet; returns (exit status,
        results by task name and host). Its output is in self.output."""
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
        run = subprocess.run(['ansible-playbook', '-i', inventory, playbook] + list(args),
                             env=dict(self.env, VXINS_RECORD=record), stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, universal_newlines=True)
        self.output = run.stdout
        tasks = {}
        if os.path.exists(record):
            with open(record) as f:
                for line in f:
                    r = json.loads(line)
                    tasks.setdefault(r['task'], {})[r['host']] = r['result']
        return run.returncode, tasks

    def report(self, stem='fleet-report'):
        """The latest report the role wrote, its hosts by name."""
        with open(os.path.join(self.report_dir, stem + '.json')) as f:
            doc = json.load(f)
        doc['hosts'] = {h['host']: h for h in doc['hosts']}
        return doc

    def table(self, stem='fleet-report'):
        with open(os.path.join(self.report_dir, stem + '.txt')) as f:
            return f.read()

    def recap(self):
        """PLAY RECAP of the last run: per host, its counts (ok, changed, failed, ...)."""
        return {m.group(1): {k: int(v) for k, v in re.findall(r'(\w+)=(\d+)', m.group(2))}
                for m in re.finditer(r'^(\S+)\s+: (ok=.*)$', self.output, re.M)}

    def calls(self, host):
        """Every agent call on a host, from its simulator's journal."""
        journal = self.hostvars[host]['vxins_environment']['DZNAJ_SIM_JOURNAL']
        if not os.path.exists(journal):
            return []
        with open(journal) as f:
            return [json.loads(line) for line in f if line.strip()]

    def flashes(self, host):
        """The agent's flash calls on a host: (B:D, result) in call order."""
        return [(BUS_DEV[c['wwn']], c['result']) for c in self.calls(host)
                if c['symbol'] == 'hba_flashUpgrade']

    def runs(self, host):
        """How many runs of each command vxins-host recorded in the host's history."""
        database = self.hostvars[host]['vxins_history_db']
        if not os.path.exists(database):
            return collections.Counter()
        history = subprocess.run([HOST_TOOL, '--json', '--history-db', database, 'history',
                                  '--limit', '1000'], stdout=subprocess.PIPE, check=True)
        return collections.Counter(r['command'] for r in json.loads(history.stdout)['runs'])
