# -*- coding: utf-8 -*-
# The scale run (ansible/tests/scale.sh): the rolling-update playbook on 40 simulated hosts,
# forks 10, batches of 10, each host the simulator's built-in machine. The hosts are all this
# machine, so they share one run lock (the plug-in's trace log is one file per machine): the ten
# hosts of a batch queue on it, and each one's lock_timeout allows for the whole queue. Prints
# the fleet report and the wall time; exits 1 unless the rollout passed and every host's
# journal shows its three adapters flashed once.

import os
import sys
import time

from fleet import MACHINE, Fleet

HOSTS, FORKS, BATCH = 40, 10, 10
# A host holds the lock for a discovery, a set-action and a flash of three adapters: about a
# second natively, a few under emulation; the last of ten queued hosts waits for nine others.
LOCK_TIMEOUT = 600
FLASHED_WHOLE = [('0a:00', 0), ('81:00', 0), ('04:00', 0)]


def main():
    fleet = Fleet('3.2.0', keep=bool(os.environ.get('VXINS_KEEP_FLEET')))
    try:
        for n in range(1, HOSTS + 1):
            fleet.add_host('host%02d' % n, MACHINE, vxins_lock_timeout=LOCK_TIMEOUT)
        start = time.monotonic()
        rc, _ = fleet.playbook('--forks', str(FORKS), '-e', 'vxins_batch=%d' % BATCH)
        wall = time.monotonic() - start
        print(fleet.table() if os.path.exists(os.path.join(fleet.report_dir, 'fleet-report.txt'))
              else fleet.output)
        wrong = [h for h in fleet.hostvars if fleet.flashes(h) != FLASHED_WHOLE]
        print('scale run: %d hosts, forks %d, batches of %d, lock_timeout %d s: exit status %d, '
              'wall time %.0f s' % (HOSTS, FORKS, BATCH, LOCK_TIMEOUT, rc, wall))
        if rc != 0 or wrong:
            print('scale run FAILED: not flashed whole exactly once: %s' % (' '.join(wrong)
                                                                            or 'none'))
            return 1
        return 0
    finally:
        fleet.close()


if __name__ == '__main__':
    sys.exit(main())
