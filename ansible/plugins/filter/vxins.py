# -*- coding: utf-8 -*-
# The fleet reports on the controller: fleet_report gathers what vxins_update returned on each
# host of the play (and how far the rollout got), fleet_inventory what vxins_discovery listed;
# fleet_table and fleet_inventory_table print them. Called by the role vxins_rollout after every
# batch; they read results, they never run anything. Their documentation (ansible-doc -t
# filter) is in the .yml file of each name.

ROLLOUT_STATUSES = ('changed', 'unchanged', 'nothing to do', 'failed', 'not reached')
INVENTORY_STATUSES = ('listed', 'no adapters', 'failed', 'not reached')


def _changed(check_mode):
    """The status of a host whose update changes something: a check run only would."""
    return 'would change' if check_mode else 'changed'


def _reboot(result):
    """Whether the host waits for a reboot (vxins-host's marker, whatever run flashed it; this
    run's flash when the marker was not read) and the history ids of the runs that flashed."""
    pending = result.get('reboot_pending') or {}
    return dict(reboot_pending=bool(pending.get('pending') or result.get('reboot_required')),
                reboot_runs=pending.get('runs', []))


def _report(entries, package, started, **more):
    """A report of the hosts' entries: when the run started, the package's name and the
    version its discoveries read (every version read, should hosts disagree)."""
    versions = sorted({e['package_version'] for e in entries if e['package_version']})
    return dict(started=started, package=package, package_version=', '.join(versions) or None,
                hosts=entries, **more)


def fleet_report(hosts, hostvars, package='', check_mode=False, started=''):
    entries = []
    for host in hosts:
        result = hostvars[host].get('vxins_update_result') or {}
        failure = hostvars[host].get('vxins_failure')
        if failure:
            status = 'failed'
        elif 'adapters' not in result:  # a later batch, or a failure before the update
            status = 'not reached'
        elif result.get('nothing_to_do'):
            status = 'nothing to do'
        else:
            status = _changed(check_mode) if result.get('changed') else 'unchanged'
        entries.append(dict(host=host, status=status, message=failure or '',
                            reboot_required=bool(result.get('reboot_required')),
                            history_ids=result.get('history_ids', []),
                            package_version=result.get('package_version'),
                            adapters=result.get('adapters', []), **_reboot(result)))
    return _report(entries, package, started, check_mode=bool(check_mode))


def fleet_inventory(hosts, hostvars, package='', started=''):
    entries = []
    for host in hosts:
        result = hostvars[host].get('vxins_discovery_result') or {}
        failure = hostvars[host].get('vxins_failure')
        if failure:
            status = 'failed'
        elif 'state' not in result:
            status = 'not reached'
        else:
            status = 'no adapters' if result['state'] == 'no adapters' else 'listed'
        facts = result.get('ansible_facts') or {}
        entries.append(dict(host=host, status=status, message=failure or '',
                            history_ids=[i for i in [result.get('history_id')] if i is not None],
                            package_version=result.get('package_version'),
                            adapters=facts.get('vxins_adapters', []), **_reboot(result)))
    return _report(entries, package, started)


def _columns(rows):
    """Rows of text cells as lines, every column but the last padded to its widest cell."""
    widths = [max(len(r[i]) for r in rows) for i in range(len(rows[0]) - 1)]
    return ['  '.join(cell.ljust(w) for cell, w in zip(r, widths)) + '  ' + r[-1] for r in rows]


def _text(report, title, header, adapter_cells, statuses):
    """A report as text: what and when, one line per adapter (a host without adapters on one
    line with its failure or status), the count of hosts per status, the hosts waiting for a
    reboot and the history runs of each host."""
    rows = [header]
    for entry in report['hosts']:
        for a in entry['adapters']:
            rows.append([entry['host']] + [str(c) if c is not None else '-'
                                           for c in adapter_cells(a)])
        if not entry['adapters']:
            rows.append([entry['host']] + ['-'] * (len(header) - 2) +
                        [entry['message'] or entry['status']])
    lines = ['%s: %s, version %s, started %s' % (
        title, report['package'] or 'no package', report['package_version'] or 'unknown',
        report['started'] or 'unknown')] + _columns(rows)
    counts = [sum(e['status'] == s for e in report['hosts']) for s in statuses]
    count = len(report['hosts'])
    lines.append('%d host%s: ' % (count, '' if count == 1 else 's') +
                 ', '.join('%d %s' % (n, s) for n, s in zip(counts, statuses)))
    if report.get('check_mode'):
        lines.append('check mode: nothing was flashed; "would flash" is what a run would do')
    reboot = [e['host'] for e in report['hosts'] if e['reboot_pending']]
    if reboot:
        lines.append('reboot pending: ' + ' '.join(reboot))
    runs = ['%s %s' % (e['host'], ' '.join(str(i) for i in e['history_ids']))
            for e in report['hosts'] if e['history_ids']]
    if runs:
        lines.append('history runs (vxins-host history show ID): ' + ', '.join(runs))
    return '\n'.join(lines) + '\n'


def fleet_table(report):
    return _text(report, 'rollout', ['HOST', 'ADAPTER', 'BEFORE', 'OFFERED', 'DIRECTION',
                                     'AFTER', 'RESULT'],
                 lambda a: [a['adapter'], a['before'], a['offered'], a['direction'], a['after'],
                            a['result'] + (': ' + a['reason'] if a['reason'] else '')],
                 (_changed(report['check_mode']),) + ROLLOUT_STATUSES[1:])


def fleet_inventory_table(report):
    return _text(report, 'inventory', ['HOST', 'ADAPTER', 'FUNCTIONS', 'ACTIVE', 'OFFERED',
                                       'DIRECTION', 'PRODUCT'],
                 lambda a: [a['adapter'], len(a['functions']), a['active_version'],
                            a['offered_version'], a['direction'], a['product']],
                 INVENTORY_STATUSES)


class FilterModule(object):

    def filters(self):
        return dict(fleet_report=fleet_report, fleet_table=fleet_table,
                    fleet_inventory=fleet_inventory, fleet_inventory_table=fleet_inventory_table)
