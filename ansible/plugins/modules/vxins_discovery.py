#!/usr/bin/python
# -*- coding: utf-8 -*-
# Discovery on a target: vxins-host --json discover with the package's folder, its devices
# returned as facts. It never flashes nor changes an action; vxins_update does that.

DOCUMENTATION = r'''
module: vxins_discovery
short_description: Discover Quorvel HBAs and CNAs and what a firmware package would do to them
description:
  - Runs C(vxins-host --json discover) on the target with the given package and returns every
    adapter function the plug-in C(libqrvlvxins.so) lists, with its active and offered boot
    firmware versions and the action the plug-in proposes (Upgrade, Downgrade or Rewrite), as
    the facts C(vxins_devices) and C(vxins_adapters).
  - Changes nothing on the adapters. It writes the discovery file in I(work_dir) and a history
    entry, as any discovery does, also in check mode.
version_added: 1.0.0
author: the qrvlvxins developers
extends_documentation_fragment:
  - qrvl.vxins.vxins
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
        - One entry per adapter (PCI bus and device, as C(vxins-host) shows it); the plug-in
          flashes whole adapters. I(up_to_date) is true when the active version is the
          package's.
      type: list
      elements: dict
      sample:
        - adapter: "0a:00"
          identifiers: ["21:00:00:0e:1e:c4:51:10", "21:00:00:0e:1e:c4:51:11"]
          product: Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA
          active_version: 3.0.2.1
          offered_version: 3.1.0.0
          proposed_action: Upgrade
          up_to_date: false
discovery_file:
  description: The discovery file the plug-in wrote.
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
    COMMON_ARGS, VxinsHost, adapter_facts, device_facts)


def main():
    module = AnsibleModule(argument_spec=COMMON_ARGS, supports_check_mode=True)
    host = VxinsHost(module)
    doc = host.discover()
    module.exit_json(changed=False, discovery_file=host.discovery_file,
                     history_id=doc.get('history_id'),
                     ansible_facts=dict(vxins_devices=device_facts(doc),
                                        vxins_adapters=adapter_facts(doc)))


if __name__ == '__main__':
    main()
