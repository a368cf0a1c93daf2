# -*- coding: utf-8 -*-
# The update's decisions without Ansible: which adapters are flashed (choices, idempotence,
# force), how vxins-host's answers become per-adapter results, changed, failed and
# reboot_required, and the fleet report built from them. The JSON below is shaped as
# vxins-host --json prints it; the fleet test runs the real thing.

import os
import types
import unittest

PLUGINS = os.path.join(os.path.dirname(__file__), '..', '..', 'plugins')


def load(name, path):
    """A plug-in file run as a module of its own, outside Ansible's collection loader."""
    path = os.path.join(PLUGINS, path)
    module = types.ModuleType(name)
    module.__file__ = path
    with open(path, encoding='utf-8') as f:
        exec(compile(f.read(), path, 'exec'), module.__dict__)
    return module


vx = load('vxins_utils', 'module_utils/vxins.py')
report = load('vxins_filter', 'filter/vxins.py')


def adapter(bus_dev, before, identifiers, proposed):
    return dict(adapter=bus_dev, before=before, offered='3.1.0.0', identifiers=identifiers,
                product='Quorvel', proposed=proposed)


DISCOVER = dict(schema_version=1, ok=True, adapters=[
    adapter('0a:00', '3.0.2.1', ['21:00:00:0e:1e:c4:51:10'], 'Upgrade'),
    adapter('81:00', '3.2.0.0', ['00:0e:1e:d2:7a:40', '20:00:00:0e:1e:d2:7a:41'], 'Downgrade'),
    adapter('04:00', '3.1.0.0', ['00:0e:1e:e5:19:30'], 'Rewrite')])
ADAPTERS = vx.adapter_facts(DISCOVER)


def flash_doc(*outcomes, **extra):
    doc = dict(schema_version=1, adapters=[dict(adapter=a, outcome=o, reason=r)
                                           for a, o, r in outcomes])
    doc.update(extra)
    return doc


class PlanTest(unittest.TestCase):

    def test_what_is_flashed(self):
        rows = [  # skip, adapters, force -> decisions of 0a:00, 81:00, 04:00
            ([], None, False, ['flash', 'flash', 'current']),
            (['81:00'], None, False, ['flash', 'skip', 'current']),
            (['20:00:00:0E:1E:D2:7A:41'], None, False, ['flash', 'skip', 'current']),
            (['A:0'], None, False, ['skip', 'flash', 'current']),  # as --adapter takes it
            ([], ['81:0'], False, ['skip', 'flash', 'skip']),
            ([], ['0a:00'], False, ['flash', 'skip', 'skip']),
            ([], ['00:0e:1e:d2:7a:40', '04:00'], False, ['skip', 'flash', 'current']),
            (['0a:00'], ['0a:00', '81:00'], False, ['skip', 'flash', 'skip']),
            ([], None, True, ['flash', 'flash', 'flash']),
            ([], ['04:00'], True, ['skip', 'skip', 'flash']),
        ]
        for skip, only, force, expected in rows:
            with self.subTest(skip=skip, only=only, force=force):
                decisions, warnings, errors = vx.plan_update(ADAPTERS, skip, only, force)
                self.assertEqual([d['decision'] for d in decisions], expected)
                self.assertEqual((warnings, errors), ([], []))

    def test_second_run_flashes_nothing(self):
        flashed = dict(DISCOVER, adapters=[dict(a, before='3.1.0.0', proposed='Rewrite')
                                           for a in DISCOVER['adapters']])
        decisions, _, _ = vx.plan_update(vx.adapter_facts(flashed))
        self.assertEqual({d['decision'] for d in decisions}, {'current'})
        result, failure = vx.summary(vx.result_rows(decisions))
        self.assertEqual((result['changed'], failure), (False, None))

    def test_partly_updated_adapter_is_flashed(self):
        devices = [dict(adapter='04:00', active_version=v) for v in ('3.1.0.0', '3.0.2.1')]
        decisions, _, _ = vx.plan_update(vx.adapter_facts(dict(DISCOVER, devices=devices)))
        self.assertEqual([d['decision'] for d in decisions], ['flash', 'flash', 'flash'])

    def test_unknown_names(self):
        _, warnings, errors = vx.plan_update(ADAPTERS, skip=['99:00'])
        self.assertEqual((len(warnings), errors), (1, []))
        _, warnings, errors = vx.plan_update(ADAPTERS, only=['99:00', '0a:00'])
        self.assertEqual(warnings, [])
        self.assertIn('99:00', errors[0])


class ResultTest(unittest.TestCase):

    def outcome(self, doc, check_mode=False):
        decisions, _, _ = vx.plan_update(ADAPTERS)
        rows = vx.result_rows(decisions, doc, check_mode)
        return rows, vx.summary(rows, doc, check_mode)

    def test_results(self):
        table = [  # flash answer, check mode -> results, changed, failure names
            (flash_doc(('0a:00', 'flashed', ''), ('81:00', 'flashed', ''),
                       ('04:00', 'skipped', ''), reboot_required=True), False,
             ['flashed', 'flashed', 'up to date'], True, None),
            (flash_doc(('0a:00', 'failed', 'image rejected'), ('81:00', 'flashed', ''),
                       ('04:00', 'skipped', ''), reboot_required=True), False,
             ['failed', 'flashed', 'up to date'], True, '0a:00 failed (image rejected)'),
            (flash_doc(('0a:00', 'failed', 'timeout'), ('81:00', 'not attempted', 'pass ended'),
                       ('04:00', 'skipped', '')), False,
             ['failed', 'not attempted', 'up to date'], False, '81:00 not attempted (pass ended)'),
            (dict(schema_version=1, ok=False, error='lock held by pid 7'), False,
             ['not attempted', 'not attempted', 'up to date'], False, 'lock held by pid 7'),
            (flash_doc(('0a:00', 'skipped', ''), ('81:00', 'flashed', '')), False,
             ['skipped', 'flashed', 'up to date'], True, '0a:00 skipped'),
            (None, True, ['would flash', 'would flash', 'up to date'], True, None),
        ]
        for doc, check_mode, results, changed, failure in table:
            with self.subTest(results=results):
                rows, (result, message) = self.outcome(doc, check_mode)
                self.assertEqual([r['result'] for r in rows], results)
                self.assertEqual(result['changed'], changed)
                self.assertEqual(result['reboot_required'], bool(doc and
                                                                  doc.get('reboot_required')))
                if failure is None:
                    self.assertIsNone(message)
                else:
                    self.assertIn(failure, message)
                for r in rows:
                    self.assertEqual(r['after'], r['offered'] if r['result'] == 'flashed'
                                     else r['before'])

    def test_answers_that_cannot_be_read(self):
        for out, why in (('vxins-host: usage', 'gave no JSON'),
                         ('{"schema_version": 2}', 'schema 2')):
            with self.subTest(out=out):
                doc, error = vx.parse_answer(['vxins-host', 'flash'], 3, out, 'err')
                self.assertIsNone(doc)
                self.assertIn(why, error)


class FleetReportTest(unittest.TestCase):

    def test_report_and_table(self):
        failed_rows = vx.result_rows(vx.plan_update(ADAPTERS)[0], flash_doc(
            ('0a:00', 'failed', 'image rejected'), ('81:00', 'flashed', '')))
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


if __name__ == '__main__':
    unittest.main()
