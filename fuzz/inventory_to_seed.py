#!/usr/bin/env python3
"""Turns an agent-simulator inventory (sim/README.md) into a seed of the enumeration fuzz target:
the answers the simulator would give, in the layout enumeration_fuzzer.cpp reads.

    fuzz/inventory_to_seed.py INVENTORY.json > SEED.json

fuzz/make-seeds.sh runs it over every test and simulator inventory, so those seeds are made
afresh and never kept in fuzz/corpus.
"""
import json
import sys


def pick(src, keys):
    return {k: src[k] for k in keys if k in src}


def seed_of(inv):
    adapters = inv.get("adapters", [])
    seed = {
        "count": inv.get("adapterCount", len(adapters)),
        "index": {"indexStrings": [a["index"] for a in adapters if "index" in a]},
        "adapters": {},
        "ports": {},
    }
    for a in adapters:
        idx = a.get("index", "")
        flashed = a.get("flashedBiosVersion")
        hba = {
            "hbaData": pick(a, ["model", "portCount"]),
            "pcieInfo": pick(a.get("pcie", {}),
                             ["vendorID", "deviceID", "subSystemVendorID", "subSystemID"]),
            "driver": pick(a, ["storageDriverVersion", "networkDriverVersion"]),
        }
        adv = {} if flashed is None else {"flashedBiosVersion": flashed}
        fc = a.get("fcPorts", [])
        eth = a.get("ethPorts", [])
        seed["adapters"][idx] = {
            "hba": hba,
            "adv": adv,
            "fc": {"indexStrings": [p["wwn"] for p in fc if "wwn" in p]},
            "eth": {"indexStrings": [p["mac"] for p in eth if "mac" in p]},
        }
        for p in fc:
            seed["ports"][p.get("wwn", "")] = pick(p, ["wwn", "nodeWwn", "hardwarePath", "portMode"])
        for p in eth:
            data = {"macAddress": p["mac"]} if "mac" in p else {}
            data.update(pick(p, ["hardwarePath"]))
            seed["ports"][p.get("mac", "")] = {"ethData": data}
    return seed


def main():
    with open(sys.argv[1]) as f:
        inv = json.load(f)
    json.dump(seed_of(inv), sys.stdout, separators=(",", ":"))
    sys.stdout.write("\n")


if __name__ == "__main__":
    main()
