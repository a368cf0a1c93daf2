# -*- coding: utf-8 -*-
# The options vxins_discovery and vxins_update share (Ansible checks them against COMMON_ARGS in
# module_utils/vxins.py); written once here so both modules' documentation says the same.


class ModuleDocFragment(object):

    DOCUMENTATION = r'''
options:
  host_tool:
    description:
      - The command-line host C(vxins-host) on the target, a path or a name searched on C(PATH).
    type: path
    default: vxins-host
  plugin:
    description:
      - The plug-in C(libqrvlvxins.so) to load (C(vxins-host --plugin)).
      - By default the one installed beside C(vxins-host).
    type: path
  agent:
    description:
      - Folder holding the agent library C(libdznaj.so) (C(vxins-host --agent)), for example the
        simulator's folder. Leave it out where the vendor's library is installed.
    type: path
  history_db:
    description:
      - The history database C(vxins-host) records the run in, and where C(select) and
        C(set-action) look up how the discovery grouped the adapters (C(--history-db) of each).
      - By default C(VXINS_HISTORY_DB), else C(/var/lib/qrvlvxins/history.db).
    type: path
  work_dir:
    description:
      - Folder on the target for the discovery file; C(vxins-host) runs in it, since the
        plug-in's package reader creates a scratch file in the current folder.
      - Created (mode 0700) when missing.
    type: path
    default: /var/lib/qrvlvxins/ansible
  discovery_file:
    description:
      - The discovery file. Default C(discovery.xml) in I(work_dir).
    type: path
  lock_timeout:
    description:
      - How long, in seconds, to wait for the run lock another C(vxins-host) run holds on the
        target (C(vxins-host --lock-timeout)); then the task fails, naming the holder. C(0)
        fails at once.
    type: int
    default: 1800
  require_adapters:
    description:
      - Fail on a host where the agent lists no adapter. By default such a host is
        C(nothing to do) (ok, unchanged).
    type: bool
    default: false
  target_name:
    description:
      - How warnings and failures name this target, which Ansible's warnings do not. The role
        C(qrvl.vxins.vxins_rollout) passes the inventory name.
      - By default the target's host name.
    type: str
notes:
  - Only one discover, devices, flash or set-action runs at a time on a target; another one
    waits for the lock C(/run/qrvlvxins/run.lock) at most I(lock_timeout) seconds
    (C(VXINS_LOCK_FILE) in the task's C(environment) puts it elsewhere, for tests). The lock
    orders C(vxins-host) runs only, not the host framework's own calls of the plug-in.
  - The environment of the task (Ansible's C(environment) keyword) reaches C(vxins-host) and the
    agent library, for example the simulator's C(DZNAJ_SIM_INVENTORY) or
    C(VXINS_REBOOT_MARKER).
requirements:
  - vxins-host (package qrvlvxins) on the target, speaking JSON schema 2
'''
