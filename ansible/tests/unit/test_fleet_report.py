# -*- coding: utf-8 -*-
# The fleet reports without Ansible: what the filters fleet_report, fleet_table, fleet_inventory
# and fleet_inventory_table make of the hosts' results (rows shaped as the modules return them,
# test_modules.py checks those); the fleet test runs them in the role.

import os
import types
import unittest

FILTER = os.path.join(os.path.dirname(__file__), '..', '..', 'plugins', 'filter', 'vxins.py')


def load(path):
    """The filter file run as a module of its own, outside Ansible's collection loader."""
    module = types.ModuleType('vxins_filter')
    module.__file__ = path
    with open(path, encoding='utf-8') as f:
        exec(compile(f.read(), path, 'exec'), module.__dict__)
    return module


report = load(FILTER)
STARTED = '2024-05-02T09:14:03Z'


def row(adapter, before, after, result, reason='', direction='upgrade'):
    return dict(adapter=adapter, before=before, offered='3.1.0.0', direction=direction,
                after=after, result=result, reason=reason)


def pending(*runs):
    return dict(pending=bool(runs), runs=list(runs))


# Hosts as the role leaves them: a, flashed now; b, up to date but flashed by an earlier run
# and not rebooted since; c, failed in the update; d, failed before it; e, not reached yet; f,
# without adapters.
HOSTVARS = dict(
    a=dict(vxins_update_result=dict(changed=True, reboot_required=True, history_ids=[3, 4],
                                    reboot_pending=pending(4), package_version='3.1.0.0',
                                    adapters=[row('0a:00', '3.0.2.1', '3.1.0.0', 'flashed')])),
    b=dict(vxins_update_result=dict(changed=False, reboot_required=False, history_ids=[5],
                                    reboot_pending=pending(2), adapters=[])),
    c=dict(vxins_update_result=dict(failed=True, history_ids=[6, 7], reboot_pending=pending(),
                                    adapters=[row('0a:00', '3.0.2.1', '3.0.2.1', 'failed',
                                                  'image rejected'),
                                              row('81:00', '3.2.0.0', '3.2.0.0',
                                                  'downgrade not allowed',
                                                  direction='downgrade')]),
           vxins_failure='Update the adapters: c: not flashed'),
    d=dict(vxins_failure='Copy the package: no space left'),
    e=dict(),
    f=dict(vxins_update_result=dict(changed=False, nothing_to_do=True, history_ids=[8],
                                    reboot_pending=pending(), adapters=[])))


class FleetReportTest(unittest.TestCase):

    def test_rollout_report_and_table(self):
        doc = report.fleet_report(list('abcdef'), HOSTVARS, 'pkg.tar', False, STARTED)
        self.assertEqual((doc['started'], doc['package'], doc['package_version']),
                         (STARTED, 'pkg.tar', '3.1.0.0'))
        hosts = {h['host']: h for h in doc['hosts']}
        self.assertEqual([(h['status'], h['reboot_pending'], h['history_ids'])
                          for h in doc['hosts']],
                         [('changed', True, [3, 4]), ('unchanged', True, [5]),
                          ('failed', False, [6, 7]), ('failed', False, []),
                          ('not reached', False, []), ('nothing to do', False, [8])])
        self.assertEqual(hosts['b']['reboot_runs'], [2])
        lines = report.fleet_table(doc).splitlines()
        for expected in (
                'rollout: pkg.tar, version 3.1.0.0, started ' + STARTED,
                'HOST  ADAPTER  BEFORE   OFFERED  DIRECTION  AFTER    RESULT',
                'a     0a:00    3.0.2.1  3.1.0.0  upgrade    3.1.0.0  flashed',
                'c     0a:00    3.0.2.1  3.1.0.0  upgrade    3.0.2.1  failed: image rejected',
                'c     81:00    3.2.0.0  3.1.0.0  downgrade  3.2.0.0  downgrade not allowed',
                'd     -        -        -        -          -        Copy the package: no space '
                'left',
                'f     -        -        -        -          -        nothing to do',
                '6 hosts: 1 changed, 1 unchanged, 1 nothing to do, 2 failed, 1 not reached',
                'reboot pending: a b',
                'history runs (vxins-host history show ID): a 3 4, b 5, c 6 7, f 8'):
            self.assertIn(expected, lines)
        self.assertNotIn('check mode', report.fleet_table(doc))

    def test_check_run_says_would_change(self):
        doc = report.fleet_report(['a', 'b'], HOSTVARS, 'pkg.tar', True, STARTED)
        self.assertEqual([h['status'] for h in doc['hosts']], ['would change', 'unchanged'])
        table = report.fleet_table(doc)
        self.assertIn('2 hosts: 1 would change, 1 unchanged, 0 nothing to do, 0 failed, '
                      '0 not reached\n', table)
        self.assertIn('check mode: nothing was flashed', table)

    def test_inventory_and_table(self):
        adapter = dict(adapter='81:00', functions=['81:00.0', '81:00.1'],
                       active_version='3.2.0.0_b17', offered_version=None, direction=None,
                       product='Quorvel QC8442')
        hostvars = dict(
            a=dict(vxins_discovery_result=dict(state='devices', history_id=9,
                                               reboot_pending=pending(4),
                                               ansible_facts=dict(vxins_adapters=[adapter]))),
            b=dict(vxins_discovery_result=dict(state='no adapters', history_id=None,
                                               ansible_facts=dict(vxins_adapters=[]))),
            c=dict(vxins_failure='List the adapters: c: another run holds the lock'),
            d=dict())
        doc = report.fleet_inventory(list('abcd'), hostvars, '', STARTED)
        self.assertEqual([h['status'] for h in doc['hosts']],
                         ['listed', 'no adapters', 'failed', 'not reached'])
        lines = report.fleet_inventory_table(doc).splitlines()
        for expected in (
                'inventory: no package, version unknown, started ' + STARTED,
                'HOST  ADAPTER  FUNCTIONS  ACTIVE       OFFERED  DIRECTION  PRODUCT',
                'a     81:00    2          3.2.0.0_b17  -        -          Quorvel QC8442',
                'b     -        -          -            -        -          no adapters',
                'c     -        -          -            -        -          List the adapters: c: '
                'another run holds the lock',
                '4 hosts: 1 listed, 1 no adapters, 1 failed, 1 not reached',
                'reboot pending: a',
                'history runs (vxins-host history show ID): a 9'):
            self.assertIn(expected, lines)


if __name__ == '__main__':
    unittest.main()
