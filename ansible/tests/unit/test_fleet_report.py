# -*- coding: utf-8 -*-
# The fleet report without Ansible: what the filters fleet_report and fleet_table make of the
# hosts' results (rows shaped as vxins_update returns them, test_modules.py checks those); the
# fleet test runs them in the role.

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


def row(adapter, before, after, result, reason=''):
    return dict(adapter=adapter, before=before, offered='3.1.0.0', after=after, result=result,
                reason=reason)


class FleetReportTest(unittest.TestCase):

    def test_report_and_table(self):
        failed_rows = [row('0a:00', '3.0.2.1', '3.0.2.1', 'failed', 'image rejected'),
                       row('81:00', '3.2.0.0', '3.1.0.0', 'flashed'),
                       row('04:00', '3.1.0.0', '3.1.0.0', 'up to date')]
        hostvars = dict(
            a=dict(vxins_update_result=dict(changed=True, reboot_required=True, adapters=[])),
            b=dict(vxins_update_result=dict(changed=False, adapters=[])),
            c=dict(vxins_update_result=dict(failed=True, adapters=failed_rows),
                   vxins_failure='Update the adapters: not flashed'),
            d=dict(vxins_failure='Copy the package: no space left'),
            e=dict())
        doc = report.fleet_report(list('abcde'), hostvars, 'pkg.tar')
        self.assertEqual([h['status'] for h in doc['hosts']],
                         ['changed', 'unchanged', 'failed', 'failed', 'not reached'])
        lines = report.fleet_table(doc).splitlines()
        self.assertEqual(lines[0].split(), ['HOST', 'ADAPTER', 'BEFORE', 'AFTER', 'RESULT'])
        self.assertIn('c     0a:00    3.0.2.1  3.0.2.1  failed: image rejected', lines)
        self.assertIn('c     81:00    3.2.0.0  3.1.0.0  flashed', lines)
        self.assertIn('d     -        -        -        Copy the package: no space left', lines)
        self.assertIn('5 hosts: 1 changed, 1 unchanged, 2 failed, 1 not reached', lines)
        self.assertIn('reboot required: a', lines)
        self.assertNotIn('check mode', report.fleet_table(doc))
        checked = report.fleet_table(report.fleet_report(['b'], hostvars, 'pkg.tar', True))
        self.assertIn('check mode: nothing was flashed', checked)


if __name__ == '__main__':
    unittest.main()
