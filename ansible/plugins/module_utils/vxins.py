# -*- coding: utf-8 -*-
# What vxins_discovery and vxins_update share: their common options, vxins-host run with --json
# from the work folder, and the update's decisions (which adapters to flash, what became of
# each) as plain functions of vxins-host's JSON. Every rule about adapters (which adapter an
# entry names, whether one is up to date) is vxins-host's: these functions only read its answers.
# Nothing here flashes on its own; only VxinsHost.flash() calls the plug-in's flash.

import errno
import json
import os
import socket

SCHEMA_VERSION = 2  # the vxins-host JSON these modules read

# Long enough for another run's whole flash on the same machine to end first.
DEFAULT_LOCK_TIMEOUT = 1800

COMMON_ARGS = dict(
    host_tool=dict(type='path', default='vxins-host'),
    plugin=dict(type='path'),
    agent=dict(type='path'),
    history_db=dict(type='path'),
    work_dir=dict(type='path', default='/var/lib/qrvlvxins/ansible'),
    discovery_file=dict(type='path'),
    lock_timeout=dict(type='int', default=DEFAULT_LOCK_TIMEOUT),
    require_adapters=dict(type='bool', default=False),
    target_name=dict(type='str'),
)

# The plug-in's proposal for an adapter as the direction of the change a flash makes ("mixed":
# its functions differ, and stays as it is).
DIRECTIONS = {'Upgrade': 'upgrade', 'Downgrade': 'downgrade', 'Rewrite': 'reinstall'}

# Per-adapter results besides vxins-host's flash outcomes (flashed, failed, skipped, not
# attempted, unknown): why an adapter was left alone, and check mode's answer.
FLASHED = 'flashed'
UNKNOWN = 'unknown'
NOT_ATTEMPTED = 'not attempted'
WOULD_FLASH = 'would flash'
LEFT_ALONE = {'skip': 'skipped', 'current': 'up to date', 'no downgrade': 'downgrade not allowed'}


def parse_answer(argv, rc, out, err):
    """vxins-host's one JSON object, or (None, why) when there is none this module can read."""
    try:
        doc = json.loads(out)
    except ValueError:
        return None, '%s gave no JSON (exit status %d): %s' % (' '.join(argv), rc, err.strip())
    if not isinstance(doc, dict) or doc.get('schema_version') != SCHEMA_VERSION:
        said = doc.get('error') if isinstance(doc, dict) else None
        return None, '%s speaks JSON schema %r; this collection reads schema %d%s' % (
            argv[0], doc.get('schema_version') if isinstance(doc, dict) else None, SCHEMA_VERSION,
            ' (its error: %s)' % said if said else '')
    return doc, None


def failure_text(doc, default):
    """vxins-host's error, naming the holder of the run lock when the lock was the cause."""
    text = doc.get('error') or default
    holder = doc.get('lock_holder')
    if holder and holder not in text:
        text += ' (the lock is held by %s)' % holder
    return text


def device_facts(doc):
    """The functions vxins-host listed, as the discovery facts name them (offered version and
    proposed action are null without a package)."""
    return [dict(identifier=d['mac_or_wwn'], type=d['type'], adapter=d['adapter'], pci=d['pci'],
                 product=d['product'], active_version=d['active_version'],
                 offered_version=d.get('offered_version'), proposed_action=d.get('action'))
            for d in doc.get('devices', [])]


def adapter_facts(doc):
    """One entry per adapter as vxins-host groups them (the plug-in flashes whole adapters), in
    discovery order. active_version is the agent's raw text (build suffix included); up_to_date
    is vxins-host's answer, never decided here. Null without a package: the offer, the proposal,
    its direction and up_to_date."""
    return [dict(adapter=a['adapter'], agent_index=a.get('agent_index'),
                 functions=a.get('functions', []), identifiers=a['identifiers'],
                 product=a['product'], active_version=a['before'],
                 offered_version=a.get('offered'), proposed_action=a.get('proposed'),
                 direction=DIRECTIONS.get(a.get('proposed'), a.get('proposed')),
                 up_to_date=a.get('up_to_date'))
            for a in doc.get('adapters', [])]


def package_version(adapters):
    """The package's version as the discovery read it (null when it listed no adapter)."""
    return next((a['offered_version'] for a in adapters if a['offered_version']), None)


def non_strings(option, entries):
    """Why each entry of skip or adapters that is not a string is refused."""
    return ['%s entry %r is of type %s, not a string: quote it (YAML reads an unquoted BUS:DEV '
            'such as 81:00 as a number, 4860)' % (option, e, type(e).__name__)
            for e in entries if not isinstance(e, str)]


def named_adapters(select_doc, option, entries, known):
    """The adapters vxins-host's select answer gives for the entries of one option (skip or
    adapters), and the problems: an entry that names no device (vxins-host's unmatched, or one
    it gave no selection for), an adapter its discovery did not list."""
    by_entry = {}
    for s in select_doc.get('selections', []):
        by_entry.setdefault(s['entry'], set()).add(s['adapter'])
    unmatched = set(select_doc.get('unmatched', []))
    found = set().union(*[by_entry.get(e, set()) for e in entries])
    problems = ['%s entry %r names no device of this host' % (option, e)
                for e in entries if e in unmatched or e not in by_entry]
    problems += ['vxins-host select names adapter %s, which its discovery did not list' % a
                 for a in sorted(found - set(known))]
    return found, problems


def downgrades(adapters, devices):
    """The adapters a flash would take to an older version: the plug-in proposes Downgrade for
    the adapter or for one of its functions."""
    return ({d['adapter'] for d in devices if d['proposed_action'] == 'Downgrade'} |
            {a['adapter'] for a in adapters if a['proposed_action'] == 'Downgrade'})


def plan_update(adapters, downgrading, skip=(), only=None, force=False, allow_downgrade=False):
    """Decide per adapter: 'skip' (the operator's choice), 'current' (vxins-host says up to
    date), 'no downgrade' (a downgrade not allowed) or 'flash'. skip and only are adapter labels
    as vxins-host's select resolved them (only None: every adapter). Returns (decisions,
    errors); an adapter named in only that is a downgrade not allowed is an error."""
    decisions, errors = [], []
    for a in adapters:
        label = a['adapter']
        if label in skip or (only is not None and label not in only):
            decision = 'skip'
        elif a['up_to_date'] and not force:
            decision = 'current'
        elif label in downgrading and not allow_downgrade:
            decision = 'no downgrade'
            if only is not None:
                errors.append('adapters names %s, a downgrade from %s to %s: set '
                              'allow_downgrade to flash it' % (label, a['active_version'],
                                                               a['offered_version']))
        else:
            decision = 'flash'
        decisions.append(dict(a, decision=decision))
    return decisions, errors


def result_rows(decisions, flash_doc=None, check_mode=False):
    """What became of each adapter: the flash call's outcome for those offered to it, else why
    it was left alone. 'after' is the version it holds once rebooted ('unknown' when the
    outcome is). An adapter offered to a flash that gave no outcome for it is 'unknown' when the
    plug-in was called (it has a result), else 'not attempted'."""
    outcomes = {o['adapter']: o for o in (flash_doc or {}).get('adapters', [])}
    rows = []
    for d in decisions:
        row = dict(adapter=d['adapter'], identifiers=d['identifiers'], product=d['product'],
                   before=d['active_version'], offered=d['offered_version'],
                   direction=d['direction'], after=d['active_version'], decision=d['decision'],
                   reason='')
        if d['decision'] in LEFT_ALONE:
            row['result'] = LEFT_ALONE[d['decision']]
        elif check_mode:
            row['result'] = WOULD_FLASH
        elif d['adapter'] in outcomes:
            row['result'] = outcomes[d['adapter']]['outcome']
            row['reason'] = outcomes[d['adapter']]['reason']
        else:
            row['result'] = UNKNOWN if 'result' in flash_doc else NOT_ATTEMPTED
            row['reason'] = failure_text(flash_doc, 'vxins-host gave no outcome for it')
        if row['result'] == FLASHED:
            row['after'] = d['offered_version']
        elif row['result'] == UNKNOWN:
            row['after'] = UNKNOWN
        rows.append(row)
    return rows


def summary(rows, flash_doc=None, flash_rc=0, check_mode=False):
    """changed, reboot_required and the failure message (None when every chosen adapter was
    flashed, or would be, and the flash itself succeeded). An unknown outcome counts as a
    change: the adapter may have been flashed. The flash fails whenever vxins-host says so (ok
    false or an exit status not 0), whatever its rows say."""
    chosen = [r for r in rows if r['decision'] == 'flash']

    def listed(results):
        return '; '.join('%s %s (%s)' % (r['adapter'], r['result'], r['reason'] or
                                         'no reason given') for r in results)
    problems = []
    missed = [r for r in chosen if r['result'] not in (FLASHED, WOULD_FLASH, UNKNOWN)]
    unknown = [r for r in chosen if r['result'] == UNKNOWN]
    if missed:
        problems.append('not flashed: ' + listed(missed))
    if unknown:
        problems.append('outcome unknown, the adapter may have been flashed: ' + listed(unknown))
    if flash_doc is not None and not problems and (not flash_doc.get('ok') or flash_rc != 0):
        problems.append('vxins-host flash failed (exit status %d): %s' % (
            flash_rc, failure_text(flash_doc, 'no reason given')))
    changed = bool(chosen) if check_mode else any(r['result'] in (FLASHED, UNKNOWN)
                                                  for r in rows)
    reboot = bool((flash_doc or {}).get('reboot_required', False))
    return dict(changed=changed, reboot_required=reboot), '; '.join(problems) or None


def version_diff(rows):
    """--diff: per adapter that changes (or would), the version before and the one offered."""
    return [dict(before_header='%s %s' % (r['adapter'], r['product']),
                 after_header='%s %s (%s)' % (r['adapter'], r['product'], r['direction']),
                 before=r['before'] + '\n', after=r['offered'] + '\n')
            for r in rows if r['result'] in (FLASHED, WOULD_FLASH, UNKNOWN)]


class VxinsHost(object):
    """vxins-host as the modules run it: always --json, from the work folder (the plug-in's
    package reader makes its scratch file in the current folder), with the module's plug-in,
    agent, history and lock options where each command takes them. Its warnings and failures
    name the target."""

    def __init__(self, module):
        p = module.params
        self.module = module
        self.name = p['target_name'] or socket.gethostname()
        if p['lock_timeout'] < 0:
            self.fail('lock_timeout is %d; it is a number of seconds, 0 or more'
                      % p['lock_timeout'])
        tool = p['host_tool']
        self.tool = tool if '/' in tool else module.get_bin_path(tool, required=True)
        self.work_dir = p['work_dir']
        os.makedirs(self.work_dir, 0o700, exist_ok=True)
        self.discovery_file = p['discovery_file'] or os.path.join(self.work_dir, 'discovery.xml')
        self.package = p.get('package')
        self.plugin_options = []
        for option, key in (('--plugin', 'plugin'), ('--agent', 'agent')):
            if p[key]:
                self.plugin_options += [option, p[key]]
        # Every command names the same history: discover, flash and devices record their runs
        # in it, select and set-action read there how the discovery grouped the adapters.
        self.history_options = ['--history-db', p['history_db']] if p['history_db'] else []
        self.lock_options = ['--lock-timeout', str(p['lock_timeout'])]

    def warn(self, text):
        self.module.warn('%s: %s' % (self.name, text))

    def fail(self, text, **result):
        self.module.fail_json(msg='%s: %s' % (self.name, text), **result)

    def run(self, args):
        """vxins-host's answer and exit status; a run with no readable answer fails the task."""
        argv = [self.tool, '--json'] + args
        try:
            rc, out, err = self.module.run_command(argv, cwd=self.work_dir,
                                                   handle_exceptions=False)
        except OSError as e:
            # vxins-host is a 32-bit program like the plug-in it loads: a kernel without IA-32
            # emulation (and no emulator registered) refuses to execute it.
            if e.errno == errno.ENOEXEC:
                self.fail('this target cannot run 32-bit programs (%s: %s)'
                          % (self.tool, e.strerror))
            self.fail('cannot run %s: %s' % (self.tool, e))
        doc, why = parse_answer(argv, rc, out, err)
        if doc is None:
            self.fail(why, rc=rc, stderr=err)
        for warning in doc.get('warnings', []):
            self.warn('vxins-host: %s' % warning)
        return doc, rc

    def fail_run(self, doc, prefix, default, **result):
        self.fail(prefix + failure_text(doc, default), history_id=doc.get('history_id'),
                  result=doc.get('result'), state=doc.get('state'),
                  lock_holder=doc.get('lock_holder'), **result)

    def discover(self):
        """Discovery with the package's folder (which must hold the package alone), or the
        adapters without a package (vxins-host devices). A host without adapters comes back
        with state "no adapters" unless require_adapters; any other failure fails the task."""
        if self.package:
            args = self.plugin_options + self.history_options + self.lock_options + [
                'discover', self.discovery_file, os.path.dirname(self.package)]
        else:
            args = self.plugin_options + self.history_options + self.lock_options + ['devices']
        doc, rc = self.run(args)
        if doc.get('state') == 'no adapters':
            if self.module.params['require_adapters']:
                self.fail_run(doc, 'no adapters, and require_adapters is set: ', 'no adapters')
            return doc
        if not doc['ok'] or rc != 0:
            self.fail_run(doc, '', 'discovery failed')
        return doc

    def select(self, entries):
        """vxins-host's select of the discovery file: which adapter each entry names. Entries
        follow '--', so that none is read as an option."""
        doc, rc = self.run(self.history_options + ['select', self.discovery_file, '--'] +
                           list(entries))
        if (not doc['ok'] or rc != 0) and not doc.get('unmatched'):
            self.fail_run(doc, 'nothing flashed: ', 'select failed')
        return doc

    def skip(self, adapters):
        args = self.history_options + self.lock_options + ['set-action', self.discovery_file,
                                                           'Skip']
        for adapter in adapters:
            args += ['--adapter', adapter]
        doc, rc = self.run(args)
        if not doc['ok'] or rc != 0:
            self.fail_run(doc, 'nothing flashed: setting Skip failed: ', 'no reason given')

    def flash(self):
        return self.run(self.plugin_options + self.history_options + self.lock_options +
                        ['flash', self.discovery_file, self.package])


def run_module(module, body):
    """body(module, host) with vxins-host's answers read as schema 2 says: an answer that lacks
    a key the modules read, or has one of another type, fails the task instead of a traceback."""
    host = VxinsHost(module)
    try:
        body(module, host)
    except (KeyError, TypeError, AttributeError) as e:
        host.fail('vxins-host answered in a shape schema %d does not have (%s: %s)'
                  % (SCHEMA_VERSION, type(e).__name__, e))
