#!/usr/bin/env python3
"""Rewrites the lab's sample configuration for a benchmark run: every port 0, so the lab takes
free ones and a running demo lab is left alone; device roots and the cloud folder made absolute.
With --no-discovery no device answers discovery.
Usage: labconfig.py SAMPLE_LAB_JSON OUT_JSON [--no-discovery]"""
import json
import sys


def zero(v):
    if isinstance(v, dict):
        return {k: (0 if (k == "port" or k.endswith("_port")) and isinstance(x, int) else zero(x))
                for k, x in v.items()}
    if isinstance(v, list):
        return [zero(x) for x in v]
    return v


cfg = zero(json.load(open(sys.argv[1])))
base = sys.argv[1].rsplit("/", 1)[0]
for d in cfg["devices"]:
    d["root"] = base + "/" + d["root"]
    if "--no-discovery" in sys.argv[3:]:
        d.pop("discovery", None)
cfg["cloud"]["folder"] = base + "/cloud"
json.dump(cfg, open(sys.argv[2], "w"))
