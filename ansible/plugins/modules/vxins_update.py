#!/usr/bin/python
# -*- coding: utf-8 -*-
# The update on a target: discover, Skip what the operator left out and what is already
# current, flash the rest through vxins-host, and report per adapter. Flash is called only when
# something is left to flash and never in check mode, which makes a second run a no-op.

DOCUMENTATION = r'''
module: vxins_update
short_description: Flash the boot firmware of Quorvel HBAs and CNAs, idempotently
description:
  - Runs C(vxins-host --json discover) with the package, decides per adapter what to flash, sets
    every other adapter to Skip (C(vxins-host set-action --adapter)) and runs
    C(vxins-host --json flash). The plug-in flashes whole adapters, so naming one function of an
    adapter in I(skip) or I(adapters) names the whole adapter.
  - Adapters whose active version already equals the package's are not flashed unless
    I(force=true), so a second run reports no change. When nothing is left to flash, flash is
    not called at all.
  - In check mode the discovery runs and the result tells what would be flashed; nothing is
    flashed and the discovery file's actions are left as proposed.
  - Fails when an adapter it chose to flash was not flashed, with the agent's reason; the
    results of the other adapters are returned all the same.
version_added: 1.0.0
author: the qrvlvxins developers
extends_documentation_fragment:
  - qrvl.vxins.vxins
options:
  skip:
    description:
      - Adapters to leave alone, each an adapter's C(BUS:DEV) as C(vxins-host) shows it
        (C(81:00)) or a MAC address or WWN of one of its functions.
      - Names this host does not have are warned about, so one list can serve a whole fleet.
    type: list
    elements: str
    default: []
  adapters:
    description:
      - Update only these adapters (C(BUS:DEV) or an identifier of one of their functions);
        every other adapter is skipped. A name this host does not have fails the task before
        anything is flashed.
      - With I(skip) too, an adapter named in both is skipped.
    type: list
    elements: str
  force:
    description:
      - Flash also the adapters whose active version is already the package's (Rewrite).
    type: bool
    default: false
attributes:
  check_mode:
    support: full
    description: Discovers and reports what would be flashed; flashes nothing.
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
      description: PCI bus and device (C(BUS:DEV)).
      type: str
    identifiers:
      description: MAC addresses and WWNs of its functions.
      type: list
      elements: str
    product:
      description: The product name.
      type: str
    before:
      description: The active version before this run.
      type: str
    offered:
      description: The package's version.
      type: str
    after:
      description: The version it holds after this run (the offered one when flashed; it takes
        effect after a reboot).
      type: str
    decision:
      description: C(flash), C(skip) (the operator's choice) or C(current) (already the
        package's version).
      type: str
    result:
      description: C(flashed), C(failed), C(not attempted) (from C(vxins-host flash)),
        C(skipped), C(up to date), or C(would flash) in check mode.
      type: str
    reason:
      description: The agent's reason for a failure, or why it was not attempted.
      type: str
  sample:
    - adapter: "0a:00"
      identifiers: ["21:00:00:0e:1e:c4:51:10", "21:00:00:0e:1e:c4:51:11"]
      product: Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA
      before: 3.0.2.1
      offered: 3.1.0.0
      after: 3.0.2.1
      decision: flash
      result: failed
      reason: image rejected
reboot_required:
  description: True when an adapter was flashed; the new firmware takes effect after a reboot.
  returned: always
  type: bool
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
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.qrvl.vxins.plugins.module_utils.vxins import (
    COMMON_ARGS, VxinsHost, adapter_facts, plan_update, result_rows, summary)


def main():
    module = AnsibleModule(
        argument_spec=dict(COMMON_ARGS,
                           skip=dict(type='list', elements='str', default=[]),
                           adapters=dict(type='list', elements='str'),
                           force=dict(type='bool', default=False)),
        supports_check_mode=True)
    p = module.params
    host = VxinsHost(module)
    doc = host.discover()
    decisions, warnings, errors = plan_update(adapter_facts(doc), p['skip'], p['adapters'],
                                              p['force'])
    for warning in warnings:
        module.warn(warning)
    if errors:
        module.fail_json(msg='nothing flashed: ' + '; '.join(errors))

    flash_doc = None
    if not module.check_mode and any(d['decision'] == 'flash' for d in decisions):
        left_alone = [d['adapter'] for d in decisions if d['decision'] != 'flash']
        if left_alone:
            host.skip(left_alone)
        flash_doc = host.flash()
    rows = result_rows(decisions, flash_doc, module.check_mode)
    result, failure = summary(rows, flash_doc, module.check_mode)
    result.update(adapters=rows, flash_called=flash_doc is not None,
                  history_id=(flash_doc or doc).get('history_id'))
    if failure:
        module.fail_json(msg=failure, **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
