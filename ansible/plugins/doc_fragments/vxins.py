# -*- coding: utf-8 -*-
# The options vxins_discovery and vxins_update share (Ansible checks them against COMMON_ARGS in
# module_utils/vxins.py); written once here so both modules' documentation says the same.


class ModuleDocFragment(object):

    DOCUMENTATION = r'''
options:
  package:
    description:
      - Path on the target of the firmware package (the vendor's ustar archive).
      - Its folder must hold the package alone, because discovery takes the folder.
        The role C(qrvl.vxins.vxins_rollout) copies it to such a folder.
    type: path
    required: true
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
      - The history database C(vxins-host) records the run in (C(--history-db)).
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
notes:
  - Only one discover or flash runs at a time on a target; a second one waits for the lock
    C(/run/lock/qrvlvxins.lock) (C(VXINS_LOCK_FILE) in the task's C(environment)).
  - The environment of the task (Ansible's C(environment) keyword) reaches C(vxins-host) and the
    agent library, for example the simulator's C(DZNAJ_SIM_INVENTORY).
requirements:
  - vxins-host (package qrvlvxins) on the target
'''
