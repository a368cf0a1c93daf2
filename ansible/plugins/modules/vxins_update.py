#!/usr/bin/python
# -*- coding: utf-8 -*-
# The update on a target: one discovery, the skip and adapters entries resolved by vxins-host,
# Skip set on what is left alone, the rest flashed, and a report per adapter. Flash is called
# only when something is left to flash and never in check mode, which makes a second run a no-op.

DOCUMENTATION = r'''
module: vxins_update
short_description: Flash the boot firmware of Quorvel HBAs and CNAs, idempotently
description:
  - Runs C(vxins-host --json discover) with the package (once; its devices are returned as the
    discovery facts too), resolves I(skip) and I(adapters) with C(vxins-host select), sets every
    adapter it leaves alone to Skip (C(vxins-host set-action --adapter)) and runs
    C(vxins-host --json flash). The plug-in flashes whole adapters, so an entry naming one
    function of an adapter names the whole adapter.
  - Adapters that C(vxins-host) reports up to date (the plug-in proposes Rewrite and the active
    version carries the package's build suffix, or none like it) are not flashed unless
    I(force=true), so a second run reports no change. When nothing is left to flash, flash is
    not called at all.
  - A downgrade is flashed only with I(allow_downgrade=true); otherwise the adapter is left
    alone and reported C(downgrade not allowed), which is not a failure unless I(adapters)
    names it.
  - A host that has no adapters is C(nothing to do) (ok, unchanged) unless I(require_adapters)
    is set or I(skip) or I(adapters) names something.
  - In check mode the discovery runs and the result tells what would be flashed, with the
    offered version and the direction; nothing is flashed and the discovery file's actions are
    left as proposed. With C(--diff), each adapter that would change shows its version before
    and the one offered.
  - Fails when vxins-host's flash fails (C(ok) false or an exit status not 0), or an adapter it
    chose to flash was not provably flashed, with the agent's reason; the results of the other
    adapters are returned all the same. An adapter whose outcome C(vxins-host) cannot prove is
    reported C(unknown), and counts as changed.
version_added: 1.0.0
author: the qrvlvxins developers
extends_documentation_fragment:
  - qrvl.vxins.vxins
options:
  package:
    description:
      - Path on the target of the firmware package (the vendor's ustar archive).
      - Its folder must hold the package alone, because discovery takes the folder.
        The role C(qrvl.vxins.vxins_rollout) copies it to such a folder.
    type: path
    required: true
  skip:
    description:
      - Adapters to leave alone, each a string C(vxins-host select) accepts, resolved by it to
        the whole adapter it names - a MAC address or WWN of a function, a PCI address
        (C(81:00), C(81:00.1), C(0000:81:00.1), in any case and with or without leading zeros)
        or an adapter label as C(vxins-host) shows it (C(0a:00#2)).
      - Quote each one in YAML (C("81:00")); an unquoted C(81:00) is the number 4860, which is
        refused.
      - An entry that names no device of this host fails the task before anything is flashed,
        so a skip list belongs to the hosts it names (host variables).
    type: list
    elements: raw
    default: []
  adapters:
    description:
      - Update only these adapters, named as in I(skip); every other adapter is skipped. An
        entry that names no device of this host, or an adapter that would be a downgrade
        without I(allow_downgrade), fails the task before anything is flashed.
      - With I(skip) too, an adapter named in both is skipped. An empty list updates none.
    type: list
    elements: raw
  force:
    description:
      - Flash also the adapters that are up to date (a reinstall). It does not allow a
        downgrade.
    type: bool
    default: false
  allow_downgrade:
    description:
      - Flash also the adapters whose active version is newer than the package's (the plug-in
        proposes Downgrade for the adapter or one of its functions).
    type: bool
    default: false
attributes:
  check_mode:
    support: full
    description: Discovers and reports what would be flashed; flashes nothing.
  diff_mode:
    support: full
    description: Per adapter that changes (or would), its version before and the one offered.
seealso:
  - module: qrvl.vxins.vxins_discovery
'''

EXAMPLES = r'''
- name: Update every adapter but the CNA at 81:00
  qrvl.vxins.vxins_update:
    package: /var/lib/qrvlvxins/ansible/firmware/qrvl_boot_3100/qrvl_boot_3100.tar
    skip: ["81:00"]
  register: update

- name: Only the HBA whose port is 21:00:00:0e:1e:c4:51:10, even if already current
  qrvl.vxins.vxins_update:
    package: /var/lib/qrvlvxins/ansible/firmware/qrvl_boot_3100/qrvl_boot_3100.tar
    adapters: ["21:00:00:0e:1e:c4:51:10"]
    force: true

- name: Back to an older release, waiting at most a minute for another run's lock
  qrvl.vxins.vxins_update:
    package: /var/lib/qrvlvxins/ansible/firmware/qrvl_boot_3000/qrvl_boot_3000.tar
    allow_downgrade: true
    lock_timeout: 60

- name: Against the agent simulator
  qrvl.vxins.vxins_update:
    package: /tmp/fw/qrvl_boot_3100.tar
    agent: /usr/lib/i386-linux-gnu/qrvlvxins/sim
    history_db: /tmp/history.db
  environment:
    DZNAJ_SIM_INVENTORY: /tmp/inventory.json
'''

RETURN = r'''
adapters:
  description: What became of each adapter, in discovery order.
  returned: when the discovery succeeded
  type: list
  elements: dict
  contains:
    adapter:
      description: The adapter's label as C(vxins-host) shows it (C(BUS:DEV) of its first
        function, C(#2) added where two adapters would share it).
      type: str
    identifiers:
      description: MAC addresses and WWNs of its functions.
      type: list
      elements: str
    product:
      description: The product name.
      type: str
    before:
      description: The active version before this run, as the agent reports it (build suffix
        included).
      type: str
    offered:
      description: The package's version.
      type: str
    direction:
      description: What a flash does to it, from the plug-in's proposal - C(upgrade),
        C(downgrade), C(reinstall), or C(mixed) when its functions differ.
      type: str
    after:
      description: The version it holds after this run (the offered one when flashed; it takes
        effect after a reboot); C(unknown) when the outcome is.
      type: str
    decision:
      description: C(flash), C(skip) (the operator's choice), C(current) (up to date) or
        C(no downgrade) (a downgrade without I(allow_downgrade)).
      type: str
    result:
      description: C(flashed), C(failed), C(not attempted), C(unknown) (from
        C(vxins-host flash)), C(skipped), C(up to date), C(downgrade not allowed), or
        C(would flash) in check mode.
      type: str
    reason:
      description: The agent's reason for a failure, or why it was not attempted or is
        unknown.
      type: str
  sample:
    - adapter: "0a:00"
      identifiers: ["21:00:00:0e:1e:c4:51:10", "21:00:00:0e:1e:c4:51:11"]
      product: Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA
      before: 3.0.2.1
      offered: 3.1.0.0
      direction: upgrade
      after: 3.0.2.1
      decision: flash
      result: failed
      reason: image rejected
discovery_file:
  description: The discovery file the plug-in wrote (none remains on a host without adapters).
  returned: when the discovery succeeded
  type: str
nothing_to_do:
  description: True when the host has no adapters (and I(require_adapters) is not set).
  returned: always
  type: bool
package_version:
  description: The package's version as the discovery read it; null when no adapter was listed.
  returned: when the discovery succeeded
  type: str
reboot_required:
  description: True when this run flashed an adapter; the new firmware takes effect after a
    reboot.
  returned: always
  type: bool
reboot_pending:
  description: What C(vxins-host) knows of flashes since this boot, by this run or earlier ones.
  returned: when the discovery succeeded
  type: dict
  contains:
    pending:
      description: True when an adapter was flashed since the last boot.
      type: bool
    runs:
      description: The history ids of the runs that flashed since then.
      type: list
      elements: int
flash_called:
  description: Whether C(vxins-host flash) ran (false when nothing was left to flash, and in
    check mode).
  returned: always
  type: bool
history_id:
  description: The flash run's id in the history database, else the discovery's; null when
    vxins-host could not record the run.
  returned: always
  type: int
history_ids:
  description: The ids of the history runs this task made (its discovery, its flash).
  returned: always
  type: list
  elements: int
lock_holder:
  description: Who held the run lock, when the task failed because it could not have it.
  returned: on a lock failure
  type: str
ansible_facts:
  description: The discovery's C(vxins_devices) and C(vxins_adapters), as
    C(qrvl.vxins.vxins_discovery) returns them.
  returned: success
  type: dict
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.qrvl.vxins.plugins.module_utils.vxins import (
    COMMON_ARGS, adapter_facts, device_facts, downgrades, named_adapters, non_strings,
    package_version, plan_update, result_rows, run_module, summary, version_diff)


def update(module, host):
    p = module.params
    entries = dict(skip=p['skip'], adapters=p['adapters'] or [])
    refused = non_strings('skip', entries['skip']) + non_strings('adapters', entries['adapters'])
    if refused:
        host.fail('nothing flashed: ' + '; '.join(refused))

    doc = host.discover()
    adapters = adapter_facts(doc)
    devices = device_facts(doc)
    facts = dict(vxins_devices=devices, vxins_adapters=adapters)
    # What the task returns however it ends from here on.
    returned = dict(discovery_file=host.discovery_file, reboot_pending=doc.get('reboot_pending'),
                    history_id=doc.get('history_id'),
                    history_ids=[i for i in [doc.get('history_id')] if i is not None],
                    package_version=package_version(adapters), flash_called=False,
                    reboot_required=False)
    if doc['state'] == 'no adapters':
        named = ['%s entry %r names no device: this host has no adapters' % (option, e)
                 for option, listed in sorted(entries.items()) for e in listed]
        if named:
            host.fail('nothing flashed: ' + '; '.join(named), **returned)
        module.exit_json(changed=False, nothing_to_do=True, adapters=[], ansible_facts=facts,
                         **returned)

    labels = [a['adapter'] for a in adapters]
    chosen = dict(skip=set(), adapters=None if p['adapters'] is None else set())
    problems = []
    if entries['skip'] or entries['adapters']:
        selected = host.select(entries['skip'] + entries['adapters'])
        for option in ('skip', 'adapters'):
            found, wrong = named_adapters(selected, option, entries[option], labels)
            problems += wrong
            if chosen[option] is not None:
                chosen[option] = found
    decisions, errors = plan_update(adapters, downgrades(adapters, devices), chosen['skip'],
                                    chosen['adapters'], p['force'], p['allow_downgrade'])
    if problems or errors:
        host.fail('nothing flashed: ' + '; '.join(problems + errors), **returned)

    flash_doc, flash_rc = None, 0
    if not module.check_mode and any(d['decision'] == 'flash' for d in decisions):
        left_alone = [d['adapter'] for d in decisions if d['decision'] != 'flash']
        if left_alone:
            host.skip(left_alone)
        flash_doc, flash_rc = host.flash()
        returned.update(flash_called=True, history_id=flash_doc.get('history_id'),
                        reboot_pending=flash_doc.get('reboot_pending',
                                                     returned['reboot_pending']))
        returned['history_ids'] += [i for i in [flash_doc.get('history_id')] if i is not None]
        if 'lock_holder' in flash_doc:
            returned['lock_holder'] = flash_doc['lock_holder']
    rows = result_rows(decisions, flash_doc, module.check_mode)
    outcome, failure = summary(rows, flash_doc, flash_rc, module.check_mode)
    result = dict(returned, adapters=rows, nothing_to_do=False, **outcome)
    if module._diff:
        result['diff'] = version_diff(rows)
    if failure:
        host.fail(failure, **result)
    module.exit_json(ansible_facts=facts, **result)


def main():
    module = AnsibleModule(
        argument_spec=dict(COMMON_ARGS,
                           package=dict(type='path', required=True),
                           # raw: Ansible would turn an unquoted 81:00 (4860) into "4860"
                           skip=dict(type='list', elements='raw', default=[]),
                           adapters=dict(type='list', elements='raw'),
                           force=dict(type='bool', default=False),
                           allow_downgrade=dict(type='bool', default=False)),
        supports_check_mode=True)
    run_module(module, update)


if __name__ == '__main__':
    main()
