#!/usr/bin/env python3
"""Turns a recording made by the recorder (recorder/README.md) into an ordinary simulator
inventory (sim/README.md), so that a test engineer can start from a customer's machine and vary
it. Python 3 standard library only.

    sim/replay-to-inventory.py RECORDING [-o INVENTORY]

The first recorded answer to each request is the machine as it was found (later ones may follow
a flash). Answers shaped as the simulator shapes them are taken apart into adapters and ports;
what the inventory cannot say that way (errors, null answers, throws, odd shapes, a flash's
failure) becomes the adapter's "flash" or a fault, so that the simulator serving the inventory
gives the plug-in the same answers, and a discovery against it writes the same discovery file.
"""
import argparse
import json
import os
import stat
import sys

FORMAT = 1  # the newest recording format this script reads
PROG = "replay-to-inventory.py"

# The members of the answers the simulator builds from an inventory (sim/README.md, "Answers").
HBA_PARTS = {
    "hbaData": ("model", "portCount"),
    "pcieInfo": ("vendorID", "deviceID", "subSystemVendorID", "subSystemID"),
    "driver": ("storageDriverVersion", "networkDriverVersion"),
    "firmware": ("flashedBiosVersion",),
}
PORT_MEMBERS = ("wwn", "nodeWwn", "hardwarePath", "portMode")
PORT_QUERIES = ("getPortByWwn", "getFcByFcWwn", "getFcoeByPort")
INDEX_LISTS = ("getAllAdaptersIndexString", "getFcPhyPortIndicesByAdapter",
               "getEthPhyPortIndicesByAdapter")
# The entry points whose requests name an adapter or a port; faults on them carry that key.
KEYED = ("getHbaByWwn", "getAdvAdapterData", "getPortByWwn", "getFcByFcWwn", "getFcoeByPort",
         "setPortByWwn", "getEthPortByEthMac", "hba_flashUpgrade") + INDEX_LISTS[1:]
THROW_KINDS = {"agent": "throwAgent", "std": "throwStd", "other": "throwOther"}


def fail(message):
    sys.stderr.write("%s: %s\n" % (PROG, message))
    sys.exit(2)


def read_calls(path):
    """The recording's call lines, in order; a line that is not JSON is skipped with a warning."""
    try:
        # Not blocking in open(): a FIFO without a writer would hang the caller.
        with open(os.open(path, os.O_RDONLY | os.O_NONBLOCK), encoding="utf-8") as f:
            if not stat.S_ISREG(os.fstat(f.fileno()).st_mode):
                fail("cannot read %s: it is not a regular file" % path)
            lines = f.read().split("\n")
    except (OSError, UnicodeDecodeError) as e:
        fail("cannot read %s: %s" % (path, e))
    calls, headers = [], 0
    for number, text in enumerate(lines, 1):
        if not text:
            continue
        try:
            line = json.loads(text)
        except ValueError as e:
            sys.stderr.write("%s: %s:%d: not JSON (%s); line skipped\n" % (PROG, path, number, e))
            continue
        if not isinstance(line, dict):
            continue
        if line.get("type") == "header":
            fmt = line.get("format")
            if not isinstance(fmt, int) or isinstance(fmt, bool) or fmt < 1:
                fail("%s:%d: format %s is not a format version" % (path, number, json.dumps(fmt)))
            if fmt > FORMAT:
                fail("%s:%d: format %d is newer than this script reads (%d)"
                     % (path, number, fmt, FORMAT))
            headers += 1
        elif line.get("type") == "call" and isinstance(line.get("entryPoint"), str):
            if "threw" in line and not isinstance(line["threw"], dict):
                sys.stderr.write("%s: %s:%d: \"threw\" is not an object; line skipped\n"
                                 % (PROG, path, number))
                continue
            calls.append(line)
    if headers == 0:
        fail("%s holds no header" % path)
    return calls


def request_key(request):
    """The key the simulator matches a fault by: the request's "wwn", "mac" or "indexStr"."""
    if isinstance(request, dict):
        for k in ("wwn", "mac", "indexStr"):
            if isinstance(request.get(k), str) and request[k]:
                return request[k]
    return ""


def canonical(value):
    return json.dumps(value, sort_keys=True, separators=(",", ":"))


class Inventory:
    def __init__(self, calls):
        # The first call of each entry point with each request: the machine as found.
        self.first = {}
        for c in calls:
            self.first.setdefault((c["entryPoint"], canonical(c.get("request"))), c)
        self.by_key = {}
        for c in self.first.values():
            self.by_key.setdefault((c["entryPoint"], request_key(c.get("request"))), c)
        self.absorbed = set()  # the first calls the inventory's members answer
        self.flashes = [c for c in calls if c["entryPoint"] == "hba_flashUpgrade"]
        self.inv = {}

    def answer(self, symbol, key):
        """The first recorded answer of a JSON entry point for this key, or None."""
        c = self.by_key.get((symbol, key))
        return c.get("answer") if c is not None and "answer" in c else None

    def absorb(self, symbol, key):
        c = self.by_key.get((symbol, key))
        if c is not None:
            self.absorbed.add(id(c))

    def index_list(self, symbol, key):
        a = self.answer(symbol, key)
        if isinstance(a, dict) and set(a) == {"indexStrings"} and \
                isinstance(a["indexStrings"], list):
            self.absorb(symbol, key)
            return a["indexStrings"]
        return []

    def adapter(self, index):
        adapter = {"index": index}
        if not isinstance(index, str):
            return adapter
        hba = self.answer("getHbaByWwn", index)
        hba_usable = isinstance(hba, dict) and set(hba) == set(HBA_PARTS) and all(
            isinstance(hba[p], dict) and set(hba[p]) <= set(HBA_PARTS[p]) for p in HBA_PARTS)
        if hba_usable:
            for part in ("hbaData", "driver", "firmware"):
                adapter.update(hba[part])
            adapter["pcie"] = dict(hba["pcieInfo"])
            self.absorb("getHbaByWwn", index)
        # Both answers carry the flashed version; an unusable getHbaByWwn leaves it to this one.
        adv = self.answer("getAdvAdapterData", index)
        if isinstance(adv, dict) and set(adv) <= {"flashedBiosVersion"}:
            if not hba_usable and "flashedBiosVersion" in adv:
                adapter["flashedBiosVersion"] = adv["flashedBiosVersion"]
            if adv.get("flashedBiosVersion") == adapter.get("flashedBiosVersion"):
                self.absorb("getAdvAdapterData", index)
        adapter["ethPorts"] = [self.eth_port(m)
                               for m in self.index_list("getEthPhyPortIndicesByAdapter", index)]
        adapter["fcPorts"] = [self.fc_port(w)
                              for w in self.index_list("getFcPhyPortIndicesByAdapter", index)]
        for c in self.flashes:
            if isinstance(c.get("request"), dict) and c["request"].get("wwn") == index and \
                    "returned" in c:
                adapter["flash"] = {"result": c["returned"]}
                if c["returned"] != 0 and isinstance(c.get("errorText"), str):
                    adapter["flash"]["reason"] = c["errorText"]
                break
        return adapter

    def eth_port(self, mac):
        port = {"mac": mac}
        a = self.answer("getEthPortByEthMac", mac) if isinstance(mac, str) else None
        if isinstance(a, dict) and set(a) == {"ethData"} and isinstance(a["ethData"], dict) and \
                set(a["ethData"]) <= {"macAddress", "hardwarePath"} and \
                a["ethData"].get("macAddress", mac) == mac:
            if "hardwarePath" in a["ethData"]:
                port["hardwarePath"] = a["ethData"]["hardwarePath"]
            if "macAddress" in a["ethData"]:
                self.absorb("getEthPortByEthMac", mac)
        return port

    def fc_port(self, wwn):
        port = {"wwn": wwn}
        if not isinstance(wwn, str):
            return port
        # The three port queries answer from the same port: the first usable answer fills it,
        # the others are absorbed when they agree with it.
        for symbol in PORT_QUERIES:
            a = self.answer(symbol, wwn)
            if not isinstance(a, dict) or not set(a) <= set(PORT_MEMBERS):
                continue
            if set(port) == {"wwn"} and a.get("wwn", wwn) == wwn:
                port.update(a)
            if a == port:
                self.absorb(symbol, wwn)
        if self.answer("setPortByWwn", wwn) == {"result": 0}:
            self.absorb("setPortByWwn", wwn)
        return port

    def build(self):
        inv = self.inv
        version = self.by_key.get(("get_agt_version", ""))
        if version is not None and "returned" in version:
            inv["agentVersion"] = version["returned"]
        init = self.by_key.get(("init_hba_lib", ""))
        if init is not None and "answer" in init:
            inv["init"] = init["answer"]
            self.absorbed.add(id(init))
        indexes = self.index_list("getAllAdaptersIndexString", "")
        inv["adapters"] = [self.adapter(i) for i in indexes]
        count = self.by_key.get(("getNumberOfAdapters", ""))
        if count is not None and "returned" in count and count["returned"] != len(indexes):
            inv["adapterCount"] = count["returned"]
        inv["faults"] = self.faults()
        return inv

    def faults(self):
        faults = []
        for c in self.first.values():
            symbol, key = c["entryPoint"], request_key(c.get("request"))
            if symbol in KEYED and not key:
                continue  # a fault without a key would strike every call of the entry point
            fault = {"symbol": symbol, "key": key} if symbol in KEYED else {"symbol": symbol}
            if "threw" in c:
                threw = c["threw"]
                fault["kind"] = THROW_KINDS.get(threw.get("kind"), "throwOther")
                if isinstance(threw.get("code"), int) and not isinstance(threw["code"], bool):
                    fault["code"] = threw["code"]
                if isinstance(threw.get("message"), str):
                    fault["message"] = threw["message"]
            elif symbol == "free_hba_lib" and c.get("returned", 0) != 0:
                fault.update(kind="answer", answer=c["returned"])
            elif "answer" not in c or id(c) in self.absorbed:
                continue
            elif c["answer"] is None:
                fault["kind"] = "null"
            elif is_error(c["answer"]):
                fault.update(kind="error", code=c["answer"]["error"]["code"],
                             message=c["answer"]["error"]["message"])
            else:
                fault.update(kind="answer", answer=c["answer"])
            faults.append(fault)
        return faults


def is_error(answer):
    return isinstance(answer, dict) and set(answer) == {"error"} and \
        isinstance(answer["error"], dict) and set(answer["error"]) == {"code", "message"} and \
        isinstance(answer["error"]["code"], int) and not isinstance(answer["error"]["code"], bool) \
        and isinstance(answer["error"]["message"], str)


def main():
    parser = argparse.ArgumentParser(prog=PROG, description=__doc__.split("\n\n")[0])
    parser.add_argument("recording")
    parser.add_argument("-o", dest="output", help="the inventory to write (default: stdout)")
    args = parser.parse_args()
    calls = read_calls(args.recording)
    try:
        inv = Inventory(calls).build()
    except (AttributeError, KeyError, TypeError, ValueError) as e:
        # A line edited by hand or cut elsewhere than at its end: one message, not a traceback.
        fail("%s: a call is not shaped as the recorder writes it (%s: %s)"
             % (args.recording, type(e).__name__, e))
    text = json.dumps(inv, indent=2) + "\n"
    if args.output is None:
        sys.stdout.write(text)
        return
    try:
        with open(args.output, "w", encoding="utf-8") as f:
            f.write(text)
    except OSError as e:
        fail("cannot write %s: %s" % (args.output, e))


if __name__ == "__main__":
    main()
