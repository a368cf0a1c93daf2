#!/usr/bin/python
# -*- coding: utf-8 -*-
# Discovery on a target: vxins-host --json discover with the package's folder, or vxins-host
# devices without a package, its adapters returned as facts. It never flashes nor changes an
# action; vxins_update does that.

DOCUMENTATION = r'''
module: vxins_discovery
short_description: Discover Quorvel HBAs and CNAs and what a firmware package would do to them
description:
  - With I(package), runs C(vxins-host --json discover) on the target and returns every adapter
    function the plug-in C(libqrvlvxins.so) lists, with its active and offered boot firmware
    versions and the action the plug-in proposes (Upgrade, Downgrade or Rewrite), as the facts
    C(vxins_devices) and C(vxins_adapters).
  - Without I(package), runs C(vxins-host --json devices), which lists the adapters, functions
    and active versions through the plug-in's own enumeration; the offer, the proposal and
    I(up_to_date) are then null.
  - Changes nothing on the adapters. A discovery writes the discovery file in I(work_dir), and
    both record a history entry, as any run does, also in check mode.
  - A host whose agent lists no adapter returns empty facts with I(state) C(no adapters),
    unless I(require_adapters) is set.
version_added: 1.0.0
author: the qrvlvxins developers
extends_documentation_fragment:
  - qrvl.vxins.vxins
options:
  package:
    description:
      - Path on the target of the firmware package (the vendor's ustar archive). Its folder
        must hold the package alone, because discovery takes the folder.
      - Leave it out to list the adapters without a package.
    type: path
attributes:
  check_mode:
    support: full
    description: Runs the same discovery; nothing is flashed in either mode.
seealso:
  - module: qrvl.vxins.vxins_update
'''

EXAMPLES = r'''
- name: What would qrvl_boot_3100.tar do here?
  qrvl.vxins.vxins_discovery:
    package: /var/lib/qrvlvxins/ansible/firmware/qrvl_boot_3100/qrvl_boot_3100.tar

- name: Adapters still to update
  ansible.builtin.debug:
    msg: "{{ vxins_adapters | rejectattr('up_to_date') | map(attribute='adapter') | list }}"

- name: Which adapters and versions, without a package
  qrvl.vxins.vxins_discovery:
'''

RETURN = r'''
ansible_facts:
  description: The discovered functions and adapters.
  returned: success
  type: complex
  contains:
    vxins_devices:
      description: One entry per adapter function, in the discovery file's order.
      type: list
      elements: dict
      sample:
        - identifier: "21:00:00:0e:1e:c4:51:10"
          type: FC
          adapter: "0a:00"
          pci: "0a:00.0"
          product: Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA
          active_version: 3.0.2.1
          offered_version: 3.1.0.0
          proposed_action: Upgrade
    vxins_adapters:
      description:
        - One entry per adapter as C(vxins-host) groups them (the agent's adapter; its label
          is the C(BUS:DEV) of its first function); the plug-in flashes whole adapters.
        - I(active_version) is the agent's text, build suffix included. I(up_to_date) is
          C(vxins-host)'s answer - the plug-in proposes Rewrite and the active version carries
          the package's build suffix (none, or the same).
        - I(direction) is C(upgrade), C(downgrade), C(reinstall) or C(mixed).
      type: list
      elements: dict
      sample:
        - adapter: "0a:00"
          agent_index: "20:00:00:0e:1e:c4:51:10"
          functions: ["0a:00.0", "0a:00.1"]
          identifiers: ["21:00:00:0e:1e:c4:51:10", "21:00:00:0e:1e:c4:51:11"]
          product: Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA
          active_version: 3.0.2.1
          offered_version: 3.1.0.0
          proposed_action: Upgrade
          direction: upgrade
          up_to_date: false
state:
  description: C(devices), or C(no adapters) when the agent listed none.
  returned: success
  type: str
package_version:
  description: The package's version as the discovery read it; null without a package or
    adapters.
  returned: success
  type: str
reboot_pending:
  description: Whether an adapter was flashed since this boot (I(pending)) and the history ids
    of the runs that did (I(runs)).
  returned: success
  type: dict
discovery_file:
  description: The discovery file the plug-in wrote; null without a package.
  returned: success
  type: str
history_id:
  description: The run's id in the history database (C(vxins-host history show ID)); null when
    it was not recorded.
  returned: always
  type: int
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.qrvl.vxins.plugins.module_utils.vxins import (
    COMMON_ARGS, adapter_facts, device_facts, package_version, run_module)


def discovery(module, host):
    doc = host.discover()
    adapters = adapter_facts(doc)
    module.exit_json(changed=False, state=doc['state'],
                     discovery_file=host.discovery_file if host.package else None,
                     history_id=doc.get('history_id'), reboot_pending=doc.get('reboot_pending'),
                     package_version=package_version(adapters),
                     ansible_facts=dict(vxins_devices=device_facts(doc),
                                        vxins_adapters=adapters))


def main():
    module = AnsibleModule(argument_spec=dict(COMMON_ARGS, package=dict(type='path')),
                           supports_check_mode=True)
    run_module(module, discovery)


if __name__ == '__main__':
    main()
