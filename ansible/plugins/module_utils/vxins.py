# -*- coding: utf-8 -*-
# What vxins_discovery and vxins_update share: their common options, vxins-host called with
# --json from the work folder, and the update's decisions (which adapters to flash, what became
# of each) as plain functions of vxins-host's JSON, so they are tested without Ansible.
# Nothing here flashes on its own; only VxinsHost.flash() calls the plug-in's flash.

import json
import os
import re

SCHEMA_VERSION = 1  # the vxins-host JSON these modules read

COMMON_ARGS = dict(
    package=dict(type='path', required=True),
    host_tool=dict(type='path', default='vxins-host'),
    plugin=dict(type='path'),
    agent=dict(type='path'),
    history_db=dict(type='path'),
    work_dir=dict(type='path', default='/var/lib/qrvlvxins/ansible'),
    discovery_file=dict(type='path'),
)

# Per-adapter results besides vxins-host's flash outcomes (flashed, failed, skipped, not
# attempted): adapters this run did not offer to the plug-in, and check mode's answer.
UP_TO_DATE = 'up to date'
WOULD_FLASH = 'would flash'
FLASHED = 'flashed'


def parse_answer(argv, rc, out, err):
    """vxins-host's one JSON object, or (None, why) when there is none this module can read."""
    try:
        doc = json.loads(out)
    except ValueError:
        return None, '%s gave no JSON (exit status %d): %s' % (' '.join(argv), rc, err.strip())
    if not isinstance(doc, dict) or doc.get('schema_version') != SCHEMA_VERSION:
        return None, '%s speaks JSON schema %r; this collection reads schema %d' % (
            argv[0], doc.get('schema_version') if isinstance(doc, dict) else None, SCHEMA_VERSION)
    return doc, None


def device_facts(discover_doc):
    """The discovery file's functions, as the discovery facts name them."""
    return [dict(identifier=d['mac_or_wwn'], type=d['type'], adapter=d['adapter'], pci=d['pci'],
                 product=d['product'], active_version=d['active_version'],
                 offered_version=d['offered_version'], proposed_action=d['action'])
            for d in discover_doc.get('devices', [])]


def adapter_facts(discover_doc):
    """One entry per adapter (the plug-in flashes whole adapters), in discovery order. An
    adapter is up to date only when every one of its functions runs the package's version: an
    adapter left half updated (its first function current, another not) is flashed again."""
    versions = {}
    for d in discover_doc.get('devices', []):
        versions.setdefault(d['adapter'], []).append(d['active_version'])
    return [dict(adapter=a['adapter'], identifiers=a['identifiers'], product=a['product'],
                 active_version=a['before'], offered_version=a['offered'],
                 proposed_action=a['proposed'],
                 up_to_date=all(v == a['offered']
                                for v in versions.get(a['adapter'], [a['before']])))
            for a in discover_doc.get('adapters', [])]


def name_key(name):
    """A name as plan_update compares it: lower case, and a BUS:DEV in any spelling that
    vxins-host's --adapter accepts (a:00, 0A:0) as vxins-host shows it (0a:00)."""
    name = name.strip().lower()
    bus_dev = re.match(r'([0-9a-f]{1,4}):([0-9a-f]{1,4})$', name)
    return '%02x:%02x' % (int(bus_dev.group(1), 16), int(bus_dev.group(2), 16)) if bus_dev \
        else name


def plan_update(adapters, skip=(), only=None, force=False):
    """Decide per adapter: 'flash', 'skip' (the operator's choice) or 'current' (the package's
    version is already active). Names are an adapter's BUS:DEV or one of its identifiers; a
    named function stands for its whole adapter, since the plug-in flashes adapters, not
    functions. Returns (decisions, warnings, errors)."""
    owner = {}
    for a in adapters:
        owner[name_key(a['adapter'])] = a['adapter']
        for ident in a['identifiers']:
            owner[name_key(ident)] = a['adapter']

    def resolve(names):
        found = {owner[name_key(n)] for n in names if name_key(n) in owner}
        return found, [n for n in names if name_key(n) not in owner]

    skipped, unknown_skip = resolve(skip or [])
    chosen, unknown_chosen = resolve(only or [])
    warnings = ['skip names %s, which this host does not have' % n for n in unknown_skip]
    errors = ['adapters names %s, which this host does not have' % n for n in unknown_chosen]
    decisions = []
    for a in adapters:
        if a['adapter'] in skipped or (only is not None and a['adapter'] not in chosen):
            decision = 'skip'
        elif a['up_to_date'] and not force:
            decision = 'current'
        else:
            decision = 'flash'
        decisions.append(dict(a, decision=decision))
    return decisions, warnings, errors


def result_rows(decisions, flash_doc=None, check_mode=False):
    """What became of each adapter: the flash call's outcome for those offered to it, else why
    it was left alone. 'after' is the version the adapter holds once rebooted."""
    outcomes = {o['adapter']: o for o in (flash_doc or {}).get('adapters', [])}
    rows = []
    for d in decisions:
        row = dict(adapter=d['adapter'], identifiers=d['identifiers'], product=d['product'],
                   before=d['active_version'], offered=d['offered_version'],
                   after=d['active_version'], decision=d['decision'], reason='')
        if d['decision'] == 'skip':
            row['result'] = 'skipped'
        elif d['decision'] == 'current':
            row['result'] = UP_TO_DATE
        elif check_mode:
            row['result'] = WOULD_FLASH
        elif d['adapter'] in outcomes:
            row['result'] = outcomes[d['adapter']]['outcome']
            row['reason'] = outcomes[d['adapter']]['reason']
        else:
            row['result'] = 'not attempted'
            row['reason'] = (flash_doc or {}).get('error') or 'vxins-host reported no outcome'
        if row['result'] == FLASHED:
            row['after'] = d['offered_version']
        rows.append(row)
    return rows


def summary(rows, flash_doc=None, check_mode=False):
    """changed, reboot_required and the failure message (None when every chosen adapter was
    flashed, or would be)."""
    chosen = [r for r in rows if r['decision'] == 'flash']
    failed = [r for r in chosen if r['result'] not in (FLASHED, WOULD_FLASH)]
    message = None
    if failed:
        message = 'not flashed: ' + '; '.join(
            '%s %s (%s)' % (r['adapter'], r['result'], r['reason'] or 'no reason given')
            for r in failed)
    changed = bool(chosen) if check_mode else any(r['result'] == FLASHED for r in rows)
    reboot = bool((flash_doc or {}).get('reboot_required', False))
    return dict(changed=changed, reboot_required=reboot), message


class VxinsHost(object):
    """vxins-host as the modules run it: always --json, from the work folder (the plug-in's
    package reader makes its scratch file in the current folder), with the module's plug-in,
    agent and history options on discover and flash."""

    def __init__(self, module):
        p = module.params
        self.module = module
        tool = p['host_tool']
        self.tool = tool if '/' in tool else module.get_bin_path(tool, required=True)
        self.work_dir = p['work_dir']
        os.makedirs(self.work_dir, 0o700, exist_ok=True)
        self.discovery_file = p['discovery_file'] or os.path.join(self.work_dir, 'discovery.xml')
        self.package = p['package']
        self.options = []
        for option, key in (('--plugin', 'plugin'), ('--agent', 'agent'),
                            ('--history-db', 'history_db')):
            if p[key]:
                self.options += [option, p[key]]

    def run(self, *args):
        argv = [self.tool, '--json'] + list(args)
        rc, out, err = self.module.run_command(argv, cwd=self.work_dir)
        doc, why = parse_answer(argv, rc, out, err)
        if doc is None:
            self.module.fail_json(msg=why, rc=rc, stderr=err)
        for warning in doc.get('warnings', []):
            self.module.warn('vxins-host: %s' % warning)
        return doc

    def discover(self):
        """Discovery with the package's folder, which must hold the package alone."""
        doc = self.run(*(self.options + ['discover', self.discovery_file,
                                         os.path.dirname(self.package)]))
        if not doc['ok']:
            self.module.fail_json(msg=doc.get('error', 'discovery failed'),
                                  result=doc.get('result'), history_id=doc.get('history_id'))
        return doc

    def skip(self, adapters):
        args = ['set-action', self.discovery_file, 'Skip']
        for adapter in adapters:
            args += ['--adapter', adapter]
        doc = self.run(*args)
        if not doc['ok']:
            self.module.fail_json(msg='nothing flashed: setting Skip failed: %s' % doc.get('error'))

    def flash(self):
        return self.run(*(self.options + ['flash', self.discovery_file, self.package]))
