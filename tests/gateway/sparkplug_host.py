#!/usr/bin/python3
"""A Sparkplug B host for the tests, on its own copy of the compiled schema: prints
each message as a JSON line (metrics by name, aliases resolved from the births);
publishes the NCMD, DCMD and STATE orders it reads as JSON lines.

usage: sparkplug_host.py PORT SCHEMA GROUP NODE HOST_ID
"""
import importlib, json, os, subprocess, sys, tempfile, threading, time
import paho.mqtt.client as mqtt

port, schema, group, node, host_id = sys.argv[1:6]
folder = tempfile.mkdtemp()
subprocess.run(["protoc", "-I", os.path.dirname(schema), "--python_out", folder, schema],
               check=True)
sys.path.insert(0, folder)
pb = importlib.import_module(os.path.splitext(os.path.basename(schema))[0] + "_pb2")
lock = threading.Lock()
names = {}  # (device or "", alias) -> name, from the births


def say(record):
    with lock:
        print(json.dumps(record), flush=True)


def on_message(client, userdata, message):
    parts = message.topic.split("/")
    if parts[1] == "STATE" or parts[2].endswith("CMD") or parts[3] != node:
        return
    device = parts[4] if len(parts) > 4 else ""
    payload = pb.Payload()
    payload.ParseFromString(message.payload)
    record = {"type": parts[2], "device": device,
              "seq": payload.seq if payload.HasField("seq") else None, "metrics": {}}
    if parts[2].endswith("BIRTH"):
        record["types"] = {m.name: m.datatype for m in payload.metrics}
        record["aliases"] = {m.name: m.alias for m in payload.metrics}
    for m in payload.metrics:
        if m.HasField("name"):
            names[(device, m.alias)] = m.name
        kind = m.WhichOneof("value")
        value = None if m.is_null or not kind else getattr(m, kind)
        record["metrics"][names.get((device, m.alias), m.name)] = value
    say(record)


def command(device, wanted):
    payload = pb.Payload(timestamp=int(time.time() * 1000))
    aliases = {name: alias for (d, alias), name in list(names.items()) if d == device}
    for metric in wanted:
        m = payload.metrics.add(datatype=metric["datatype"])
        if "alias_of" in metric:
            m.alias = aliases[metric["alias_of"]]
        else:
            m.name = metric["name"]
        value = metric["value"]
        if m.datatype in (1, 2, 3, 5, 6, 7):
            m.int_value = value & 0xFFFFFFFF
        elif m.datatype in (4, 8):
            m.long_value = value & 0xFFFFFFFFFFFFFFFF
        elif m.datatype == 11:
            m.boolean_value = value
        else:
            m.string_value = value
    return payload.SerializeToString()


client = mqtt.Client(client_id="sparkplug-test-host")
client.on_connect = lambda c, u, f, rc: c.subscribe("spBv1.0/%s/#" % group)
client.on_subscribe = lambda c, u, mid, granted: say({"type": "ready"})
client.on_message = on_message
client.connect("127.0.0.1", int(port))
client.loop_start()
prefix = "spBv1.0/%s/" % group
for line in sys.stdin:
    order = json.loads(line)
    if "ncmd" in order:
        client.publish(prefix + "NCMD/" + node, command("", order["ncmd"]))
    elif "dcmd" in order:
        client.publish(prefix + "DCMD/%s/%s" % (node, order["dcmd"]),
                       command(order["dcmd"], order["metrics"]))
    else:
        state = {"online": order["state"], "timestamp": order["timestamp"]}
        client.publish("spBv1.0/STATE/" + host_id, json.dumps(state), qos=1, retain=True)
client.loop_stop()
