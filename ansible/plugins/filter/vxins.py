# -*- coding: utf-8 -*-
# The fleet report of a rollout, on the controller: fleet_report gathers what vxins_update
# returned on each host of the play (and how far the rollout got), fleet_table prints it.
# Called by the role vxins_rollout after every batch; it reads results, it never runs anything.
# Their documentation (ansible-doc -t filter) is in fleet_report.yml and fleet_table.yml.

STATUSES = ('changed', 'unchanged', 'failed', 'not reached')


def fleet_report(hosts, hostvars, package='', check_mode=False):
    entries = []
    for host in hosts:
        result = hostvars[host].get('vxins_update_result') or {}
        failure = hostvars[host].get('vxins_failure')
        if failure:
            status = 'failed'
        elif 'adapters' not in result:
            status = 'not reached'
        else:
            status = 'changed' if result.get('changed') else 'unchanged'
        entries.append(dict(host=host, status=status, message=failure or '',
                            reboot_required=bool(result.get('reboot_required')),
                            adapters=result.get('adapters', [])))
    return dict(package=package, check_mode=bool(check_mode), hosts=entries)


def fleet_table(report):
    rows = [('HOST', 'ADAPTER', 'BEFORE', 'AFTER', 'RESULT')]
    for entry in report['hosts']:
        for a in entry['adapters']:
            result = a['result'] + (': ' + a['reason'] if a['reason'] else '')
            rows.append((entry['host'], a['adapter'], a['before'], a['after'], result))
        if not entry['adapters']:
            rows.append((entry['host'], '-', '-', '-', entry['message'] or entry['status']))
    widths = [max(len(r[i]) for r in rows) for i in range(4)]
    lines = ['  '.join(cell.ljust(w) for cell, w in zip(r, widths)) + '  ' + r[4] for r in rows]
    counts = [sum(e['status'] == s for e in report['hosts']) for s in STATUSES]
    lines.append('%d hosts: ' % len(report['hosts']) +
                 ', '.join('%d %s' % (n, s) for n, s in zip(counts, STATUSES)))
    if report['check_mode']:
        lines.append('check mode: nothing was flashed; "would flash" is what a run would do')
    reboot = [e['host'] for e in report['hosts'] if e['reboot_required']]
    if reboot:
        lines.append('reboot required: ' + ' '.join(reboot))
    return '\n'.join(lines) + '\n'


class FilterModule(object):

    def filters(self):
        return dict(fleet_report=fleet_report, fleet_table=fleet_table)
