# -*- coding: utf-8 -*-
# Test-only callback: appends every task result as one JSON line to the file VXINS_RECORD, so
# the fleet test reads what each host's tasks returned instead of parsing the screen.

import json
import os

from ansible.plugins.callback import CallbackBase


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = 'aggregate'
    CALLBACK_NAME = 'vxins_record'
    CALLBACK_NEEDS_ENABLED = True

    def _record(self, result, status):
        line = dict(task=result._task.name, host=result._host.get_name(), status=status,
                    result=result._result)
        with open(os.environ['VXINS_RECORD'], 'a') as f:
            f.write(json.dumps(line, default=str) + '\n')

    def v2_runner_on_ok(self, result):
        self._record(result, 'ok')

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._record(result, 'failed')

    def v2_runner_on_skipped(self, result):
        self._record(result, 'skipped')
